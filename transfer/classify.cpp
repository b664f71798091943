#include "transfer/classify.h"

#include "core/app_state.h"

namespace skiff {

std::string upperCased(std::string_view path) {
  std::string out(path);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

Classification classifyPath(std::string_view upperPath) {
  const auto has = [&](std::string_view word) { return upperPath.find(word) != std::string_view::npos; };
  if (has(".PIC")) return {kPicture, "", false};
  if (has(".BMP")) return {kBitmap, "", false};
  if (has(".PKG")) return {kPackage, "", false};

  struct Rule {
    std::string_view word;
    const char* header;
  };
  static constexpr Rule kHeaders[] = {
      {"CONTACT", "*CONTACT*\n"}, {"NAMES", "*CONTACT*\n"}, {"OUTLINE", "*OUTLINE*\n"},
      {"LIST", "*CHECKLIST*\n"},  {"TODO", "*TODO*\n"},     {"DATES", "*DATES*\n"},
  };
  for (const Rule& rule : kHeaders)
    if (has(rule.word)) return {kText, rule.header, true};
  return {kText, "", true};
}

}  // namespace skiff
