#include "export/newton_text.h"

namespace skiff::exporting {

std::string readableText(std::u16string_view units, std::string_view lineEnd) {
  std::string out;
  std::size_t start = 0;  // the run of plain units not yet converted
  const auto flush = [&](std::size_t end) { out += nsof::utf8FromUtf16(units.substr(start, end - start)); };
  for (std::size_t i = 0; i < units.size(); ++i) {
    if (units[i] != kInkChar && units[i] != u'\r' && units[i] != u'\n') continue;
    flush(i);
    if (units[i] == kInkChar) {
      out += kInkMarker;
    } else {
      if (units[i] == u'\r' && i + 1 < units.size() && units[i + 1] == u'\n') ++i;
      out += lineEnd;
    }
    start = i + 1;
  }
  flush(units.size());
  return out;
}

std::optional<std::string> textOf(const nsof::Node& node, std::string_view lineEnd) {
  const auto units = node.asUtf16();
  if (!units) return std::nullopt;
  return readableText(*units, lineEnd);
}

}  // namespace skiff::exporting
