// The V.42bis dictionary both ends keep in step: a tree of strings, the string matching that finds the
// codewords, and the recycling of leaves when it is full. No I/O, no allocation after construction.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace skiff::v42bis {

// What the link request agreed: the number of codewords (dictionary size) and the longest string.
struct Params {
  std::uint16_t codewords = 1024;
  std::uint8_t maxString = 250;
  bool operator==(const Params&) const = default;
};
inline constexpr std::uint16_t kMinCodewords = 512;
inline constexpr std::uint8_t kMinString = 6, kMaxString = 250;
bool valid(const Params& params);

inline constexpr std::uint16_t kControlCodes = 3;                 // ETM, FLUSH, STEPUP
inline constexpr std::uint16_t kFirstEntry = 3 + 256;             // the first codeword a new string gets
constexpr std::uint16_t rootOf(std::uint8_t c) { return static_cast<std::uint16_t>(kControlCodes + c); }

class Dictionary {
 public:
  explicit Dictionary(const Params& params);  // params must be valid
  void reset();  // only the single characters; matching starts afresh

  // --- string matching, as the encoder runs it (and the decoder, on the characters of transparent mode) ---
  // Takes the next character. When it cannot extend the current string, that string is complete: it is
  // returned (its codeword is the one to send), S + c is learnt, and matching starts again with c. Else 0.
  std::uint16_t match(std::uint8_t c);
  // Ends the current string without a next character (a flush or a mode change) and returns it, or 0 when no
  // string is open. The next character then extends it in the dictionary.
  std::uint16_t endString();
  bool stringOpen() const { return current_ != 0; }

  // --- the decoder's side of compressed mode ---
  // Whether a received codeword names a string now.
  bool names(std::uint16_t codeword) const;
  // The codeword X arrived: the string before it learns X's first character, and X waits for the next one.
  // False when that makes X itself the next entry to recycle, which no encoder can have sent.
  bool learnFrom(std::uint16_t codeword);

  // Writes the characters of a string into `out` (at least maxString long); returns how many.
  std::size_t spell(std::uint16_t codeword, std::span<std::uint8_t> out) const;
  std::size_t length(std::uint16_t codeword) const { return nodes_[codeword].depth; }
  std::uint16_t codewords() const { return static_cast<std::uint16_t>(nodes_.size()); }
  std::uint64_t recycled() const { return recycled_; }  // entries taken back from a full dictionary

 private:
  struct Node {
    std::uint16_t parent = 0, firstChild = 0, nextSibling = 0;
    std::uint8_t ch = 0;
    std::uint8_t depth = 0;  // characters in the string; 0: the entry holds none
  };
  std::uint16_t child(std::uint16_t node, std::uint8_t c) const;
  void learn(std::uint16_t parent, std::uint8_t c);  // parent + c, unless present or too long
  void detach(std::uint16_t node);
  void advanceNextEntry();

  std::vector<Node> nodes_;
  std::uint8_t maxString_;
  std::uint16_t next_ = kFirstEntry;  // C1: where the next string goes
  std::uint16_t current_ = 0;         // the string being matched
  std::uint16_t ended_ = 0;           // a string ended without its next character
  std::uint16_t lastCreated_ = 0;     // made when the string before the current one ended
  std::uint64_t recycled_ = 0;
};

}  // namespace skiff::v42bis
