// A text file on its way into Notes: checked before the port opens (is it text? which encoding?), then read a
// note at a time while the session runs, so that memory stays within a few notes whatever the file's size.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "dock/desktop_text.h"

namespace skiff::import {

// What the bytes of a text file, fed in pieces, say of it: whether it is text at all (no control characters but
// tab, line feed, vertical tab, form feed and carriage return), and in which encoding to read it (UTF-8 when all
// of it is, else Windows-1252).
class TextScan {
 public:
  void feed(std::span<const std::uint8_t> bytes);
  // Why it is not text ("a control character, 0x00, at byte 1,204"); empty when it is.
  const std::string& problem() const { return problem_; }
  dock::TextEncoding encoding() const {
    return utf8_.valid() ? dock::TextEncoding::Utf8 : dock::TextEncoding::Windows1252;
  }

 private:
  dock::Utf8Check utf8_;
  std::uint64_t offset_ = 0;
  std::string problem_;
};

struct TextFileCheck {
  std::string problem;  // "PATH: not text (...)", "PATH: <the system's reason>"; empty when it may go
  dock::TextEncoding encoding = dock::TextEncoding::Utf8;
};
// Reads the whole file once.
TextFileCheck checkTextFile(const std::string& path);

// The notes of a text file, in order: the first cut of its text (noteEnd), then the next cut of the rest, and
// so on. An empty file is one empty note.
class NoteReader {
 public:
  NoteReader(std::string path, dock::TextEncoding encoding);
  // The next note's text, or nothing when the file has given all its text or cannot be read (then `problem`
  // says why).
  std::optional<std::u16string> next();
  const std::string& problem() const { return problem_; }

 private:
  bool fill();  // reads until the text held is more than a note, or the file ends

  std::string path_;
  dock::DesktopTextDecoder decoder_;
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file_{nullptr, std::fclose};
  bool opened_ = false;
  bool ended_ = false;
  int given_ = 0;
  std::u16string text_;  // decoded and not yet given
  std::string problem_;
};

// The file's name without its folder, as a note's title: UTF-8 where it is, else Windows-1252.
std::u16string titleOfFile(const std::string& path);

}  // namespace skiff::import
