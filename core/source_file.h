// The file being sent. Always opened in binary; in text mode Skiff applies the text rules itself, so the same
// bytes go out on every platform: CR LF arrives as LF, a lone CR is kept, and a Ctrl-Z byte ends the text where
// nothing but Ctrl-Z bytes and line ends follow it (the end mark of old editors). A Ctrl-Z with text after it
// is data like any other byte: ending there would drop the rest of the note without a word.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace skiff {

class SourceFile {
 public:
  SourceFile() = default;
  SourceFile(const SourceFile&) = delete;
  SourceFile& operator=(const SourceFile&) = delete;
  ~SourceFile() { close(); }

  // Only a regular file opens: a directory, a FIFO or a device has no size to announce and no end to meet.
  bool open(const std::string& path, bool textMode);
  // The same for bytes held in memory (a note converted for the Newton): they are read as a file's would be, with
  // the same text rules and the same size on disk. False when no temporary file could hold them.
  bool openBytes(std::string_view bytes, bool textMode);
  bool isOpen() const { return file_ != nullptr; }
  void close();

  // The size in bytes as the file system reports it; the position does not change. -1 when not open.
  std::int64_t sizeOnDisk();
  // Positions at `offset` bytes from the start and clears the end-of-file mark.
  bool seek(std::int64_t offset);
  // Reads never go past `end` bytes from the start, as if the file ended there: a file that grows while it is
  // sent gives no more than was announced. Until the next open.
  void limitTo(std::int64_t end) { limit_ = end; }
  // Reads up to `count` bytes (text rules applied in text mode); fewer only at the end of the data.
  std::size_t read(void* buffer, std::size_t count);
  // True once a read came up short (the end of the file or a Ctrl-Z was met), as stdio's end-of-file mark.
  bool atEnd() const { return atEnd_; }

  // How far the reads have come, in bytes on disk from the start (a CR LF read in text mode counts two).
  std::int64_t offset() const { return offset_ - (pushedBack_ >= 0 ? 1 : 0); }
  // Why the reads stopped short of `end` bytes on disk: not at all (they reached it, or a Ctrl-Z ended the
  // text), the data ended early (the file shrank), or the system failed to read it.
  enum class Shortfall { None, EndedEarly, ReadFailed };
  Shortfall shortfallBefore(std::int64_t end) const;

 private:
  enum class Stop { None, EndOfData, CtrlZ, Failed };
  void reset(bool textMode);
  int nextByte();
  int nextTextByte();
  bool onlyEndMarksFollow();

  std::FILE* file_ = nullptr;
  bool textMode_ = false;
  bool atEnd_ = false;
  Stop stop_ = Stop::None;
  int pushedBack_ = -1;  // one byte of look-ahead after a CR
  std::int64_t textAheadAt_ = -1;  // where a byte that is no end mark was last found ahead of a Ctrl-Z
  std::int64_t offset_ = 0;
  std::int64_t limit_ = INT64_MAX;
};

// The report for a file whose data fell short of `end` bytes (string 66 or 67, naming it `name`); empty when
// the file was read in full.
std::string shortfallText(const SourceFile& file, std::string_view name, std::int64_t end);

}  // namespace skiff
