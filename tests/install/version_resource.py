#!/usr/bin/env python3
"""Prints the version resource of a Windows executable as NAME=VALUE lines: FILEVERSION and PRODUCTVERSION
from the fixed part (a.b.c.d), then every string of its string tables (FileVersion=2.3, ProductName=...).
Reads the PE file itself, so that the check needs no Windows tool. Exit code 1 when there is none."""
import struct
import sys

RT_VERSION = 16


def sections(image):
    if image[:2] != b"MZ":
        raise ValueError("not an MZ executable")
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    if image[pe:pe + 4] != b"PE\0\0":
        raise ValueError("no PE header")
    count, = struct.unpack_from("<H", image, pe + 6)
    optional_size, = struct.unpack_from("<H", image, pe + 20)
    optional = pe + 24
    magic, = struct.unpack_from("<H", image, optional)
    directories = optional + (96 if magic == 0x10B else 112)
    resource_rva, _ = struct.unpack_from("<II", image, directories + 2 * 8)
    table = optional + optional_size
    found = []
    for i in range(count):
        _, virtual_size, rva, raw_size, raw = struct.unpack_from("<8sIIII", image, table + 40 * i)
        found.append((rva, max(virtual_size, raw_size), raw))
    return resource_rva, found


def file_offset(rva, found):
    for start, size, raw in found:
        if start <= rva < start + size:
            return raw + rva - start
    raise ValueError("address %#x is in no section" % rva)


def directory_entries(image, base, offset):
    named, numbered = struct.unpack_from("<HH", image, base + offset + 12)
    for i in range(named + numbered):
        ident, target = struct.unpack_from("<II", image, base + offset + 16 + 8 * i)
        yield ident, target & 0x7FFFFFFF, bool(target & 0x80000000)


def version_block(image):
    resource_rva, found = sections(image)
    if resource_rva == 0:
        return None
    base = file_offset(resource_rva, found)
    for ident, target, is_directory in directory_entries(image, base, 0):
        if ident != RT_VERSION or not is_directory:
            continue
        # The first resource of the type, in its first language.
        _, names, _ = next(directory_entries(image, base, target))
        _, data, _ = next(directory_entries(image, base, names))
        rva, size = struct.unpack_from("<II", image, base + data)
        start = file_offset(rva, found)
        return image[start:start + size]
    return None


def align(offset):
    return (offset + 3) & ~3


def nodes(block, offset, end):
    """The VS_VERSIONINFO tree: (key, value bytes, is text, children) for each node in [offset, end)."""
    while offset + 6 <= end:
        length, value_length, kind = struct.unpack_from("<HHH", block, offset)
        if length == 0:
            break
        node_end = min(offset + length, end)
        key_end = offset + 6
        while key_end + 1 < node_end and block[key_end:key_end + 2] != b"\0\0":
            key_end += 2
        key = block[offset + 6:key_end].decode("utf-16-le")
        value_start = align(key_end + 2)
        value_size = value_length * 2 if kind == 1 else value_length
        value = block[value_start:value_start + value_size]
        children = list(nodes(block, align(value_start + value_size), node_end))
        yield key, value, kind == 1, children
        offset = align(node_end)


def dotted(most, least):
    return "%d.%d.%d.%d" % (most >> 16, most & 0xFFFF, least >> 16, least & 0xFFFF)


def main():
    with open(sys.argv[1], "rb") as f:
        image = f.read()
    block = version_block(image)
    if block is None:
        print("%s: no version resource" % sys.argv[1], file=sys.stderr)
        return 1
    key, fixed, _, children = next(nodes(block, 0, len(block)))
    if key != "VS_VERSION_INFO" or len(fixed) < 52:
        print("%s: the version resource is malformed" % sys.argv[1], file=sys.stderr)
        return 1
    signature, _, file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<6I", fixed)
    if signature != 0xFEEF04BD:
        print("%s: the fixed version part has no signature" % sys.argv[1], file=sys.stderr)
        return 1
    print("FILEVERSION=" + dotted(file_ms, file_ls))
    print("PRODUCTVERSION=" + dotted(product_ms, product_ls))
    for name, _, _, tables in children:
        if name != "StringFileInfo":
            continue
        for _, _, _, strings in tables:
            for string_name, value, _, _ in strings:
                print("%s=%s" % (string_name, value.decode("utf-16-le").rstrip("\0")))
    return 0


if __name__ == "__main__":
    sys.exit(main())
