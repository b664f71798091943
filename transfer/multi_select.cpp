#include "transfer/multi_select.h"

namespace skiff {

bool isSingleSelection(const OpenFileResult& result) {
  return result.fileOffset > 0 && result.fileOffset <= result.buffer.size() &&
         result.buffer[result.fileOffset - 1] == '\\';
}

namespace {
// The text from `position` up to the next NUL (or the end of the buffer); moves past the NUL.
std::string_view takeEntry(std::string_view buffer, std::size_t& position) {
  if (position >= buffer.size()) return {};
  const std::size_t end = buffer.find('\0', position);
  const std::size_t stop = end == std::string_view::npos ? buffer.size() : end;
  const std::string_view entry = buffer.substr(position, stop - position);
  position = stop + 1;
  return entry;
}
}  // namespace

MultiSelectWalker::MultiSelectWalker(std::string_view buffer) : buffer_(buffer) {
  directory_ = std::string(takeEntry(buffer_, position_));
}

std::optional<std::string> MultiSelectWalker::next() {
  const std::string_view name = takeEntry(buffer_, position_);
  if (name.empty()) {
    position_ = buffer_.size();  // the list is over for good
    return std::nullopt;
  }
  return std::string(name);
}

std::string joinSelectedPath(std::string_view directory, std::string_view name) {
  std::string path(directory);
  if (path.empty() || path.back() != '\\') path += '\\';
  path += name;
  return path;
}

}  // namespace skiff
