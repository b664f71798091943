#include "newton/package_maker.h"

#include "dock/nsof_text.h"

namespace skiff::newton {
namespace {

constexpr std::size_t kFixedHeader = 52;
constexpr std::size_t kPartEntry = 32;
constexpr std::uint32_t kFormPart = 0x666F726D;  // 'form': a NewtonScript application part
constexpr std::uint32_t kPartFlags = 0x81;        // NOS part, auto-load

void put16(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t v) {
  bytes[at] = static_cast<std::uint8_t>(v >> 8);
  bytes[at + 1] = static_cast<std::uint8_t>(v);
}
void put32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) bytes[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
}

}  // namespace

std::vector<std::uint8_t> makePackage(std::string_view name, std::span<const std::uint8_t> part) {
  const std::vector<std::uint8_t> nameBytes = nsof::stringBytes(nsof::utf16FromUtf8(name));
  const std::size_t dataStart = kFixedHeader + kPartEntry;
  const std::size_t directorySize = (dataStart + nameBytes.size() + 3) / 4 * 4;
  const std::size_t size = directorySize + part.size();
  std::vector<std::uint8_t> bytes(size, 0);
  const std::string_view signature = "package0";
  std::copy(signature.begin(), signature.end(), bytes.begin());
  put32(bytes, 8, 0x78787878);  // id "xxxx", as packages built by the toolkit carry
  put32(bytes, 16, 1);          // version
  put16(bytes, 24, 0);          // name: offset into the variable data
  put16(bytes, 26, static_cast<std::uint32_t>(nameBytes.size()));
  put32(bytes, 28, static_cast<std::uint32_t>(size));
  put32(bytes, 44, static_cast<std::uint32_t>(directorySize));
  put32(bytes, 48, 1);  // parts
  put32(bytes, kFixedHeader + 0, 0);  // the part's offset after the directory
  put32(bytes, kFixedHeader + 4, static_cast<std::uint32_t>(part.size()));
  put32(bytes, kFixedHeader + 8, static_cast<std::uint32_t>(part.size()));
  put32(bytes, kFixedHeader + 12, kFormPart);
  put32(bytes, kFixedHeader + 20, kPartFlags);
  std::copy(nameBytes.begin(), nameBytes.end(), bytes.begin() + static_cast<std::ptrdiff_t>(dataStart));
  std::copy(part.begin(), part.end(), bytes.begin() + static_cast<std::ptrdiff_t>(directorySize));
  return bytes;
}

}  // namespace skiff::newton
