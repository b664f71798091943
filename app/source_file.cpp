#include "app/source_file.h"

namespace skiff {

namespace {
constexpr int kCtrlZ = 0x1A;
}

bool SourceFile::open(const std::string& path, bool textMode) {
  close();
  file_ = std::fopen(path.c_str(), "rb");
  textMode_ = textMode;
  atEnd_ = false;
  pushedBack_ = -1;
  return file_ != nullptr;
}

void SourceFile::close() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
}

std::int64_t SourceFile::sizeOnDisk() {
  if (file_ == nullptr) return -1;
  const long here = std::ftell(file_);
  if (here < 0 || std::fseek(file_, 0, SEEK_END) != 0) return -1;
  const long size = std::ftell(file_);
  std::fseek(file_, here, SEEK_SET);
  return size;
}

bool SourceFile::seek(std::int64_t offset) {
  if (file_ == nullptr) return false;
  atEnd_ = false;
  pushedBack_ = -1;
  return std::fseek(file_, static_cast<long>(offset), SEEK_SET) == 0;
}

int SourceFile::nextTextByte() {
  int c = pushedBack_ >= 0 ? pushedBack_ : std::getc(file_);
  pushedBack_ = -1;
  if (c == EOF || c == kCtrlZ) return EOF;
  if (c == '\r') {
    const int following = std::getc(file_);
    if (following == '\n') return '\n';
    if (following != EOF) pushedBack_ = following;
  }
  return c;
}

std::size_t SourceFile::read(void* buffer, std::size_t count) {
  if (file_ == nullptr || count == 0) return 0;
  if (atEnd_ && textMode_) return 0;  // a Ctrl-Z ends the text for good
  auto* out = static_cast<unsigned char*>(buffer);
  std::size_t got = 0;
  if (!textMode_) {
    got = std::fread(out, 1, count, file_);
  } else {
    while (got < count) {
      const int c = nextTextByte();
      if (c == EOF) break;
      out[got++] = static_cast<unsigned char>(c);
    }
  }
  if (got < count) atEnd_ = true;
  return got;
}

}  // namespace skiff
