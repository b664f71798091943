#include "core/source_file.h"

#include <sys/stat.h>

#include <algorithm>
#include <climits>

#include "core/texts.h"

namespace skiff {

namespace {

constexpr int kCtrlZ = 0x1A;

long asLong(std::int64_t value) { return static_cast<long>(std::min<std::int64_t>(value, LONG_MAX)); }

// True only when the file system says the path is something other than a regular file (stat is the C
// runtime's on every platform Skiff is built for). A path it cannot judge is left to fopen, as it always was.
bool isSomethingElse(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode);
}

}  // namespace

void SourceFile::reset(bool textMode) {
  close();
  textMode_ = textMode;
  atEnd_ = false;
  stop_ = Stop::None;
  pushedBack_ = -1;
  textAheadAt_ = -1;
  offset_ = 0;
  limit_ = INT64_MAX;
}

bool SourceFile::open(const std::string& path, bool textMode) {
  reset(textMode);
  // Checked before opening: opening a FIFO would wait for a writer.
  if (isSomethingElse(path)) return false;
  file_ = std::fopen(path.c_str(), "rb");
  return file_ != nullptr;
}

bool SourceFile::openBytes(std::string_view bytes, bool textMode) {
  reset(textMode);
  file_ = std::tmpfile();  // binary, and gone once closed
  if (file_ == nullptr) return false;
  if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size() || std::fseek(file_, 0, SEEK_SET) != 0) {
    close();
    return false;
  }
  return true;
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
  stop_ = Stop::None;
  pushedBack_ = -1;
  textAheadAt_ = -1;
  offset_ = offset;
  return std::fseek(file_, static_cast<long>(offset), SEEK_SET) == 0;
}

// One byte from the disk, counted; EOF at the limit, the end of the data or a failure (stop_ says which).
int SourceFile::nextByte() {
  if (offset_ >= limit_) {
    stop_ = Stop::EndOfData;
    return EOF;
  }
  const int c = std::getc(file_);
  if (c == EOF) {
    stop_ = std::ferror(file_) ? Stop::Failed : Stop::EndOfData;
    return EOF;
  }
  ++offset_;
  return c;
}

int SourceFile::nextTextByte() {
  int c = pushedBack_ >= 0 ? pushedBack_ : nextByte();
  pushedBack_ = -1;
  if (c == EOF) return EOF;
  if (c == kCtrlZ && onlyEndMarksFollow()) {
    stop_ = Stop::CtrlZ;
    return EOF;
  }
  if (c == '\r') {
    const int following = nextByte();
    if (following == '\n') return '\n';
    if (following != EOF) pushedBack_ = following;
  }
  return c;
}

// Whether only Ctrl-Z bytes and line ends follow, up to the limit. The file is looked ahead and put back; the
// first other byte found is remembered, so a run of Ctrl-Z bytes before it costs one look only.
bool SourceFile::onlyEndMarksFollow() {
  if (offset_ < textAheadAt_) return false;
  const long here = std::ftell(file_);
  if (here < 0) return false;
  bool only = true;
  for (std::int64_t at = offset_; at < limit_; ++at) {
    const int c = std::getc(file_);
    if (c == EOF) {
      only = !std::ferror(file_);  // what cannot be read is no end mark: the reads after it will say so
      break;
    }
    if (c != kCtrlZ && c != '\r' && c != '\n') {
      only = false;
      textAheadAt_ = at;
      break;
    }
  }
  std::clearerr(file_);
  if (std::fseek(file_, here, SEEK_SET) != 0) return false;
  return only;
}

std::size_t SourceFile::read(void* buffer, std::size_t count) {
  if (file_ == nullptr || count == 0) return 0;
  if (atEnd_ && textMode_) return 0;  // a Ctrl-Z ends the text for good
  auto* out = static_cast<unsigned char*>(buffer);
  std::size_t got = 0;
  if (!textMode_) {
    const std::size_t allowed =
        offset_ >= limit_ ? 0 : static_cast<std::size_t>(std::min<std::int64_t>(limit_ - offset_, count));
    got = std::fread(out, 1, allowed, file_);
    offset_ += static_cast<std::int64_t>(got);
    if (got < count) stop_ = std::ferror(file_) ? Stop::Failed : Stop::EndOfData;
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

SourceFile::Shortfall SourceFile::shortfallBefore(std::int64_t end) const {
  if (stop_ == Stop::Failed) return Shortfall::ReadFailed;
  if (stop_ == Stop::CtrlZ || offset() >= end) return Shortfall::None;
  return Shortfall::EndedEarly;
}

std::string shortfallText(const SourceFile& file, std::string_view name, std::int64_t end) {
  const std::string shown(name);
  switch (file.shortfallBefore(end)) {
    case SourceFile::Shortfall::None:
      return {};
    case SourceFile::Shortfall::EndedEarly:
      return FormatBounded(kShowMessageMax, LoadText(TextId::FileEndedEarly).c_str(), shown.c_str(),
                           asLong(file.offset()), asLong(end));
    case SourceFile::Shortfall::ReadFailed:
      return FormatBounded(kShowMessageMax, LoadText(TextId::FileUnreadable).c_str(), shown.c_str());
  }
  return {};
}

}  // namespace skiff
