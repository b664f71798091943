#include "dil/v42bis_dictionary.h"

namespace skiff::v42bis {

bool valid(const Params& params) {
  return params.codewords >= kMinCodewords && params.maxString >= kMinString && params.maxString <= kMaxString;
}

Dictionary::Dictionary(const Params& params) : nodes_(params.codewords), maxString_(params.maxString) { reset(); }

void Dictionary::reset() {
  for (auto& node : nodes_) node = Node{};
  for (unsigned c = 0; c < 256; ++c) {
    nodes_[rootOf(static_cast<std::uint8_t>(c))].ch = static_cast<std::uint8_t>(c);
    nodes_[rootOf(static_cast<std::uint8_t>(c))].depth = 1;
  }
  next_ = kFirstEntry;
  current_ = ended_ = lastCreated_ = 0;
}

std::uint16_t Dictionary::child(std::uint16_t node, std::uint8_t c) const {
  for (std::uint16_t at = nodes_[node].firstChild; at != 0; at = nodes_[at].nextSibling)
    if (nodes_[at].ch == c) return at;
  return 0;
}

std::uint16_t Dictionary::match(std::uint8_t c) {
  if (current_ == 0) {
    lastCreated_ = 0;
    if (ended_ != 0) learn(ended_, c);
    ended_ = 0;
    current_ = rootOf(c);
    return 0;
  }
  const std::uint16_t longer = child(current_, c);
  // The entry the previous string's end made is not matched: the decoder learns it only from this codeword.
  if (longer != 0 && nodes_[current_].depth < maxString_ && longer != lastCreated_) {
    current_ = longer;
    return 0;
  }
  const std::uint16_t complete = current_;
  lastCreated_ = 0;
  learn(complete, c);
  current_ = rootOf(c);
  return complete;
}

std::uint16_t Dictionary::endString() {
  if (current_ == 0) return 0;
  ended_ = current_;
  current_ = 0;
  return ended_;
}

bool Dictionary::names(std::uint16_t codeword) const {
  return codeword >= kControlCodes && codeword < nodes_.size() && nodes_[codeword].depth != 0 && codeword != next_;
}

bool Dictionary::learnFrom(std::uint16_t codeword) {
  std::uint16_t first = codeword;
  while (nodes_[first].depth > 1) first = nodes_[first].parent;
  if (ended_ != 0) learn(ended_, nodes_[first].ch);
  ended_ = codeword;
  return next_ != codeword;
}

std::size_t Dictionary::spell(std::uint16_t codeword, std::span<std::uint8_t> out) const {
  const std::size_t n = nodes_[codeword].depth;
  if (n > out.size()) return 0;
  std::size_t at = n;
  for (std::uint16_t node = codeword; at > 0; node = nodes_[node].parent) out[--at] = nodes_[node].ch;
  return n;
}

void Dictionary::learn(std::uint16_t parent, std::uint8_t c) {
  if (nodes_[parent].depth >= maxString_ || child(parent, c) != 0) return;
  const std::uint16_t entry = next_;
  Node& node = nodes_[entry];
  node = Node{parent, 0, nodes_[parent].firstChild, c, static_cast<std::uint8_t>(nodes_[parent].depth + 1)};
  nodes_[parent].firstChild = entry;
  lastCreated_ = entry;
  advanceNextEntry();
}

// The next entry after the one just used that has no children; when it holds a string (the dictionary has been
// full) that leaf leaves the tree at once.
void Dictionary::advanceNextEntry() {
  const std::size_t entries = nodes_.size() - kFirstEntry;
  for (std::size_t tries = 0; tries < entries; ++tries) {
    next_ = static_cast<std::uint16_t>(next_ + 1u == nodes_.size() ? kFirstEntry : next_ + 1u);
    if (nodes_[next_].firstChild == 0) break;
  }
  if (nodes_[next_].depth != 0) {
    detach(next_);
    ++recycled_;
  }
}

void Dictionary::detach(std::uint16_t node) {
  Node& leaf = nodes_[node];
  std::uint16_t* link = &nodes_[leaf.parent].firstChild;
  while (*link != 0 && *link != node) link = &nodes_[*link].nextSibling;
  if (*link == node) *link = leaf.nextSibling;
  if (lastCreated_ == node) lastCreated_ = 0;
  leaf = Node{};
}

}  // namespace skiff::v42bis
