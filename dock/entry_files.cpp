#include "dock/entry_files.h"

#include <cstdio>

namespace skiff::dock {
namespace {

constexpr std::size_t kLongestFolderName = 200;  // most file systems take 255 bytes; room for what is cut
constexpr char kHex[] = "0123456789ABCDEF";

bool mustEscape(unsigned char c, bool first) {
  return c < 0x20 || c == 0x7F || c == '/' || c == '\\' || c == '%' || c == ':' || (first && c == '.');
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::uint32_t fnv1a32(std::string_view text) {
  std::uint32_t hash = 2166136261u;
  for (unsigned char c : text) hash = (hash ^ c) * 16777619u;
  return hash;
}

}  // namespace

std::string folderNameFor(std::string_view name) {
  if (name.empty()) return "%";
  std::string folder;
  std::size_t cut = 0;  // bytes of the name written when the folder ends on a character boundary
  for (std::size_t i = 0; i < name.size(); ++i) {
    const auto c = static_cast<unsigned char>(name[i]);
    if ((c & 0xC0) != 0x80 && folder.size() <= kLongestFolderName) cut = i;
    if (mustEscape(c, i == 0)) {
      folder += '%';
      folder += kHex[c >> 4];
      folder += kHex[c & 0xF];
    } else {
      folder += static_cast<char>(c);
    }
  }
  if (folder.size() <= kLongestFolderName) return folder;
  char hash[12];
  std::snprintf(hash, sizeof hash, "%%~%08X", static_cast<unsigned>(fnv1a32(name)));
  return folderNameFor(name.substr(0, cut)).substr(0, kLongestFolderName) + hash;
}

std::optional<std::string> nameOfFolder(std::string_view folder) {
  if (folder == "%") return std::string();
  if (folder.empty() || folder.front() == '.') return std::nullopt;
  std::string name;
  for (std::size_t i = 0; i < folder.size(); ++i) {
    if (folder[i] != '%') {
      if (folder[i] == '/') return std::nullopt;
      name += folder[i];
      continue;
    }
    if (i + 2 >= folder.size()) return std::nullopt;
    const int high = hexValue(folder[i + 1]);
    const int low = hexValue(folder[i + 2]);
    if (high < 0 || low < 0) return std::nullopt;
    name += static_cast<char>(high << 4 | low);
    i += 2;
  }
  return name;
}

std::string entryFileName(std::uint32_t uniqueId) { return std::to_string(uniqueId) + std::string(kEntrySuffix); }

std::optional<std::uint32_t> entryIdOfFile(std::string_view fileName) {
  if (fileName.size() <= kEntrySuffix.size() || !fileName.ends_with(kEntrySuffix)) return std::nullopt;
  const std::string_view digits = fileName.substr(0, fileName.size() - kEntrySuffix.size());
  if (digits.size() > 10 || (digits.size() > 1 && digits.front() == '0')) return std::nullopt;
  std::uint64_t id = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    id = id * 10 + static_cast<unsigned>(c - '0');
  }
  if (id > UINT32_MAX) return std::nullopt;
  return static_cast<std::uint32_t>(id);
}

}  // namespace skiff::dock
