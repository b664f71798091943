#include "export/content_line.h"

namespace skiff::exporting {
namespace {

constexpr std::size_t kFoldAt = 75;

bool continuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

}  // namespace

std::string escapeText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\\' || c == ',' || c == ';') {
      out += '\\';
      out += c;
    } else if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      out += "\\n";
    } else {
      out += c;
    }
  }
  return out;
}

std::string foldedLine(std::string_view line) {
  std::string out;
  std::size_t room = kFoldAt;  // octets the current line may still take
  std::size_t i = 0;
  while (i < line.size()) {
    std::size_t next = i + 1;
    while (next < line.size() && continuationByte(line[next])) ++next;
    if (next - i > room) {
      out += "\r\n ";
      room = kFoldAt - 1;
    }
    out.append(line.substr(i, next - i));
    room -= next - i;
    i = next;
  }
  out += "\r\n";
  return out;
}

void addLine(std::string& out, std::string_view name, std::string_view value) {
  std::string line(name);
  line += ':';
  line += value;
  out += foldedLine(line);
}

}  // namespace skiff::exporting
