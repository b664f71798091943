// Text from the desktop as a Newton holds it: UTF-16 units, each line ended by a CR. A desktop's text is UTF-8
// (perhaps with a byte-order mark) or, in files from Windows, Windows-1252, and its lines end in LF or CR LF.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace skiff::dock {

enum class TextEncoding {
  Utf8,         // a byte that starts no valid sequence is read as Windows-1252, so no byte is ever lost
  Windows1252,  // every byte one character
};

// The character Windows-1252 gives a byte; the five bytes it leaves undefined stand for the C1 controls of the
// same value, as Windows' own conversion reads them.
char16_t windows1252Character(std::uint8_t byte);

// Decodes text that comes in pieces: a UTF-8 sequence or a CR LF split between two pieces comes out whole. A
// byte-order mark at the very start of UTF-8 is dropped; CR LF, LF and CR each become one CR.
class DesktopTextDecoder {
 public:
  explicit DesktopTextDecoder(TextEncoding encoding) : encoding_(encoding) {}

  // Appends the text of `bytes` to `out`.
  void feed(std::span<const std::uint8_t> bytes, std::u16string& out);
  // The input has ended: what is held (the start of a sequence that never ended) goes to `out`.
  void finish(std::u16string& out);

 private:
  void put(char32_t c, std::u16string& out);
  void heldAsWindows1252(std::u16string& out);

  TextEncoding encoding_;
  bool atStart_ = true;
  bool afterCr_ = false;
  std::uint8_t held_[4] = {};  // a UTF-8 sequence begun and not yet complete
  int heldCount_ = 0;
  int needed_ = 0;             // the length of the sequence begun
};

// The whole of `bytes` decoded at once.
std::u16string newtonText(std::span<const std::uint8_t> bytes, TextEncoding encoding);

// Whether `bytes` are UTF-8 throughout (shortest forms only, no surrogates, nothing beyond U+10FFFF), fed in
// pieces. A sequence still open at the end is not.
class Utf8Check {
 public:
  void feed(std::span<const std::uint8_t> bytes);
  bool valid() const { return valid_ && needed_ == 0; }

 private:
  bool valid_ = true;
  int needed_ = 0;         // continuation bytes still to come
  std::uint8_t lead_ = 0;  // the lead byte of the sequence begun (its second byte has tighter bounds)
  int seen_ = 0;           // continuation bytes seen of it
};

}  // namespace skiff::dock
