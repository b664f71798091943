#include "newton/package_check.h"

#include <cstring>

#include "dock/frame.h"

namespace skiff::newton {

namespace {

constexpr std::size_t kFixedHeader = 52;
constexpr std::size_t kPartEntry = 32;

struct Ref {
  std::uint16_t offset = 0;
  std::uint16_t length = 0;
};

Ref readRef(dock::Cursor& cursor) {
  Ref ref;
  ref.offset = cursor.u16();
  ref.length = cursor.u16();
  return ref;
}

PackageVerdict refuse(PackageVerdict verdict, std::string reason) {
  verdict.result = kBadPackage;
  verdict.reason = std::move(reason);
  return verdict;
}

// Offsets into the variable data, which starts after the part entries and ends with the directory.
bool withinDirectory(Ref ref, std::uint64_t dataStart, std::uint64_t directorySize) {
  return dataStart + ref.offset + ref.length <= directorySize;
}

std::string nameAt(std::span<const std::uint8_t> bytes, std::uint64_t at, std::uint16_t length) {
  std::string name;
  for (std::uint64_t i = at; i + 1 < at + length && i + 1 < bytes.size(); i += 2) {
    const unsigned unit = static_cast<unsigned>(bytes[i] << 8 | bytes[i + 1]);
    if (unit == 0) break;
    name += unit >= 0x20 && unit < 0x7F ? static_cast<char>(unit) : '?';
  }
  return name;
}

}  // namespace

PackageVerdict checkPackage(std::span<const std::uint8_t> bytes, std::uint64_t announced) {
  PackageVerdict verdict;
  dock::Cursor cursor(bytes);
  const std::string signature = cursor.text(8);
  cursor.skip(4 + 4 + 4);  // id, flags, version
  const Ref copyright = readRef(cursor);
  const Ref name = readRef(cursor);
  const std::uint32_t size = cursor.u32();
  cursor.skip(4 + 4 + 4);  // date, reserved
  const std::uint32_t directorySize = cursor.u32();
  const std::uint32_t parts = cursor.u32();
  if (!cursor.ok()) return refuse(verdict, "shorter than a package header");
  verdict.parts = parts;
  if (signature.compare(0, 7, "package") != 0 || (signature[7] != '0' && signature[7] != '1'))
    return refuse(verdict, "no package signature");
  if (size != announced || size != bytes.size()) return refuse(verdict, "size field differs from the length");
  const std::uint64_t dataStart = kFixedHeader + kPartEntry * static_cast<std::uint64_t>(parts);
  if (dataStart > directorySize || directorySize > size) return refuse(verdict, "directory size out of range");
  if (!withinDirectory(copyright, dataStart, directorySize) || !withinDirectory(name, dataStart, directorySize))
    return refuse(verdict, "name or copyright outside the directory");
  for (std::uint32_t i = 0; i < parts; ++i) {
    const std::uint32_t offset = cursor.u32();
    const std::uint32_t partSize = cursor.u32();
    cursor.skip(4 + 4 + 4 + 4);  // size again, type, reserved, flags
    const Ref info = readRef(cursor);
    const Ref compressor = readRef(cursor);
    if (!cursor.ok()) return refuse(verdict, "part entries cut short");
    if (static_cast<std::uint64_t>(offset) + partSize > size - directorySize)
      return refuse(verdict, "part " + std::to_string(i) + " outside the package");
    if (!withinDirectory(info, dataStart, directorySize) || !withinDirectory(compressor, dataStart, directorySize))
      return refuse(verdict, "part " + std::to_string(i) + " info outside the directory");
  }
  verdict.name = nameAt(bytes, dataStart + name.offset, name.length);
  verdict.result = kPackageOk;
  return verdict;
}

}  // namespace skiff::newton
