// What goes to the Newton for the keys: "kbdc" for a single key (a character and the state word that says
// whether the command key is down), "kbds" for a run of characters, in pieces (the Dante Connection Protocol
// ERS describes both).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "keyboard/key_reader.h"

namespace skiff::keyboard {

// UTF-16 units one "kbds" carries at most: a pasted block goes in pieces of this size. What a Newton takes at
// most is not documented; a piece this size fits in two of the link's frames.
inline constexpr std::size_t kRunUnits = 128;

struct KeyFrame {
  std::string command;              // "kbdc" or "kbds"
  std::vector<std::uint8_t> data;   // kbdc: the character and the state, each 16 bits, big-endian;
                                    // kbds: the characters in UTF-16BE with a 0000 terminator (padded as every frame)
  friend bool operator==(const KeyFrame&, const KeyFrame&) = default;
};

// A stroke's frames: a key, or a single character, as "kbdc"; a longer run as "kbds" pieces of at most
// `runUnits` that never part the two halves of a surrogate pair. The end has none.
std::vector<KeyFrame> keyFrames(const KeyStroke& stroke, std::size_t runUnits = kRunUnits);

// Characters (not UTF-16 units) in `text`: what the report counts.
std::size_t characterCount(std::u16string_view text);

}  // namespace skiff::keyboard
