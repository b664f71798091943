// The file being sent. Always opened in binary; in text mode Skiff applies the text rules itself, so the same
// bytes go out on every platform: CR LF arrives as LF, a lone CR is kept, a Ctrl-Z byte ends the text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace skiff {

class SourceFile {
 public:
  SourceFile() = default;
  SourceFile(const SourceFile&) = delete;
  SourceFile& operator=(const SourceFile&) = delete;
  ~SourceFile() { close(); }

  bool open(const std::string& path, bool textMode);
  bool isOpen() const { return file_ != nullptr; }
  void close();

  // The size in bytes as the file system reports it; the position does not change. -1 when not open.
  std::int64_t sizeOnDisk();
  // Positions at `offset` bytes from the start and clears the end-of-file mark.
  bool seek(std::int64_t offset);
  // Reads up to `count` bytes (text rules applied in text mode); fewer only at the end of the data.
  std::size_t read(void* buffer, std::size_t count);
  // True once a read came up short (the end of the file or a Ctrl-Z was met), as stdio's end-of-file mark.
  bool atEnd() const { return atEnd_; }

 private:
  int nextTextByte();

  std::FILE* file_ = nullptr;
  bool textMode_ = false;
  bool atEnd_ = false;
  int pushedBack_ = -1;  // one byte of look-ahead after a CR
};

}  // namespace skiff
