#include "import/text_file.h"

#include <cerrno>
#include <cstring>
#include <vector>

#include "import/note_split.h"

namespace skiff::import {

namespace {

constexpr std::size_t kReadPiece = 64 * 1024;

bool textByte(std::uint8_t b) { return b >= 0x20 || (b >= '\t' && b <= '\r'); }

std::string grouped(std::uint64_t n) {
  std::string digits = std::to_string(n);
  for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) digits.insert(static_cast<std::size_t>(at), ",");
  return digits;
}

}  // namespace

void TextScan::feed(std::span<const std::uint8_t> bytes) {
  if (!problem_.empty()) return;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (!textByte(bytes[i])) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "0x%02X", bytes[i]);
      problem_ = std::string("a control character, ") + hex + ", at byte " + grouped(offset_ + i + 1);
      return;
    }
  }
  utf8_.feed(bytes);
  offset_ += bytes.size();
}

TextFileCheck checkTextFile(const std::string& path) {
  TextFileCheck check;
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
  if (!file) {
    check.problem = path + ": " + std::strerror(errno);
    return check;
  }
  TextScan scan;
  std::vector<std::uint8_t> piece(kReadPiece);
  for (;;) {
    const std::size_t n = std::fread(piece.data(), 1, piece.size(), file.get());
    scan.feed(std::span(piece.data(), n));
    if (!scan.problem().empty()) {
      check.problem = path + ": not text (" + scan.problem() + ")";
      return check;
    }
    if (n < piece.size()) break;
  }
  if (std::ferror(file.get())) {
    check.problem = path + ": " + std::strerror(errno);
    return check;
  }
  check.encoding = scan.encoding();
  return check;
}

NoteReader::NoteReader(std::string path, dock::TextEncoding encoding) : path_(std::move(path)), decoder_(encoding) {}

bool NoteReader::fill() {
  if (!opened_) {
    opened_ = true;
    file_.reset(std::fopen(path_.c_str(), "rb"));
    if (!file_) {
      problem_ = path_ + ": " + std::strerror(errno);
      return false;
    }
  }
  std::vector<std::uint8_t> piece(kReadPiece);
  while (!ended_ && text_.size() <= kNoteUnits) {
    const std::size_t n = std::fread(piece.data(), 1, piece.size(), file_.get());
    decoder_.feed(std::span(piece.data(), n), text_);
    if (n < piece.size()) {
      if (std::ferror(file_.get())) {
        problem_ = path_ + ": " + std::strerror(errno);
        return false;
      }
      decoder_.finish(text_);
      ended_ = true;
    }
  }
  return true;
}

std::optional<std::u16string> NoteReader::next() {
  if (!problem_.empty() || !fill()) return std::nullopt;
  if (text_.empty() && given_ > 0) return std::nullopt;  // (fill ends with the file or with more than a note)
  const std::size_t end = noteEnd(text_);
  std::u16string note = text_.substr(0, end);
  text_.erase(0, end);
  ++given_;
  return note;
}

std::u16string titleOfFile(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(name.data()), name.size());
  dock::Utf8Check utf8;
  utf8.feed(bytes);
  return dock::newtonText(bytes, utf8.valid() ? dock::TextEncoding::Utf8 : dock::TextEncoding::Windows1252);
}

}  // namespace skiff::import
