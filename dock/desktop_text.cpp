#include "dock/desktop_text.h"

namespace skiff::dock {

namespace {

// The length of the UTF-8 sequence `lead` starts; 0 when it starts none (a continuation byte, C0 and C1, which
// could only start overlong forms, and F5 to FF, beyond U+10FFFF).
int sequenceLength(std::uint8_t lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

// Whether `b` may be the `position`-th byte (from 1) of the sequence `lead` starts: the second byte's bounds
// keep out overlong forms (E0, F0), surrogates (ED) and what lies beyond U+10FFFF (F4).
bool continues(std::uint8_t lead, int position, std::uint8_t b) {
  std::uint8_t low = 0x80, high = 0xBF;
  if (position == 1) {
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  }
  return b >= low && b <= high;
}

char32_t decoded(const std::uint8_t* bytes, int count) {
  static constexpr std::uint8_t kLeadBits[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
  char32_t c = bytes[0] & kLeadBits[count];
  for (int i = 1; i < count; ++i) c = c << 6 | (bytes[i] & 0x3F);
  return c;
}

// 80 to 9F of Windows-1252; 0 where it leaves the byte undefined.
constexpr char16_t kWindows1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0, 0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0, 0x017E,
    0x0178};

}  // namespace

char16_t windows1252Character(std::uint8_t byte) {
  if (byte >= 0x80 && byte <= 0x9F && kWindows1252High[byte - 0x80] != 0) return kWindows1252High[byte - 0x80];
  return byte;
}

void DesktopTextDecoder::put(char32_t c, std::u16string& out) {
  const bool first = atStart_;
  atStart_ = false;
  if (first && c == 0xFEFF && encoding_ == TextEncoding::Utf8) return;  // the byte-order mark
  if (c == '\n') {
    if (!afterCr_) out += u'\r';
    afterCr_ = false;
    return;
  }
  afterCr_ = c == '\r';
  if (c >= 0x10000) {
    c -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (c >> 10));
    out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
  } else {
    out += static_cast<char16_t>(c);
  }
}

void DesktopTextDecoder::heldAsWindows1252(std::u16string& out) {
  const int count = heldCount_;
  heldCount_ = 0;
  for (int i = 0; i < count; ++i) put(windows1252Character(held_[i]), out);
}

void DesktopTextDecoder::feed(std::span<const std::uint8_t> bytes, std::u16string& out) {
  out.reserve(out.size() + bytes.size());
  for (const std::uint8_t b : bytes) {
    if (encoding_ == TextEncoding::Windows1252) {
      put(windows1252Character(b), out);
      continue;
    }
    if (heldCount_ > 0) {
      if (continues(held_[0], heldCount_, b)) {
        held_[heldCount_++] = b;
        if (heldCount_ == needed_) {
          heldCount_ = 0;
          put(decoded(held_, needed_), out);
        }
        continue;
      }
      heldAsWindows1252(out);  // the sequence broke off; `b` starts afresh
    }
    const int length = sequenceLength(b);
    if (length == 1) {
      put(b, out);
    } else if (length == 0) {
      put(windows1252Character(b), out);
    } else {
      held_[0] = b;
      heldCount_ = 1;
      needed_ = length;
    }
  }
}

void DesktopTextDecoder::finish(std::u16string& out) { heldAsWindows1252(out); }

std::u16string newtonText(std::span<const std::uint8_t> bytes, TextEncoding encoding) {
  DesktopTextDecoder decoder(encoding);
  std::u16string out;
  decoder.feed(bytes, out);
  decoder.finish(out);
  return out;
}

void Utf8Check::feed(std::span<const std::uint8_t> bytes) {
  for (const std::uint8_t b : bytes) {
    if (!valid_) return;
    if (needed_ > 0) {
      valid_ = continues(lead_, ++seen_, b);
      --needed_;
      continue;
    }
    const int length = sequenceLength(b);
    valid_ = length > 0;
    lead_ = b;
    seen_ = 0;
    needed_ = length > 0 ? length - 1 : 0;
  }
}

}  // namespace skiff::dock
