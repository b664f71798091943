#include "import/note_frame.h"

#include <algorithm>

#include "dock/nsof.h"

namespace skiff::import {

namespace {

constexpr int kMargin = 5;
constexpr int kMinimumHeight = 500;
// Wide enough for an average character, and a line, of the Newton's default font, so the estimate errs long.
constexpr int kCharWidth = 6;
constexpr int kLineHeight = 14;
constexpr std::int64_t kMinutes1904To1970 = 34'714'080;

}  // namespace

int noteWidth(std::uint32_t screenWidth) {
  return screenWidth >= 160 && screenWidth <= 4096 ? static_cast<int>(screenWidth) : 320;
}

int paragraphHeight(std::u16string_view text, int width) {
  const std::int64_t perLine = std::max(1, (width - 2 * kMargin) / kCharWidth);
  std::int64_t lines = 0;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = std::min(text.find(u'\r', start), text.size());
    const auto length = static_cast<std::int64_t>(end - start);
    lines += std::max<std::int64_t>(1, (length + perLine - 1) / perLine);
    if (end >= text.size()) break;
    start = end + 1;
  }
  const std::int64_t height = (lines + 1) * kLineHeight;
  return static_cast<int>(std::clamp<std::int64_t>(height, kMinimumHeight, nsof::kMaxInteger / 2));
}

std::vector<std::uint8_t> plainNoteFrame(const PlainNote& note) {
  using nsof::Value;
  nsof::Graph g;
  const auto text = [&g](std::u16string_view units) { return g.binary(g.symbol("string"), nsof::stringBytes(units)); };
  const int width = noteWidth(static_cast<std::uint32_t>(note.screenWidth));
  const int height = paragraphHeight(note.text, width);
  const Value bounds = g.frame({{"left", Value::integer(kMargin)},
                                {"top", Value::integer(kMargin)},
                                {"right", Value::integer(width - kMargin)},
                                {"bottom", Value::integer(kMargin + height)}});
  const Value paragraph = g.frame({{"viewStationery", g.symbol("para")}, {"text", text(note.text)}, {"viewBounds", bounds}});
  const Value frame = g.frame({{"class", g.symbol("paperroll")},
                               {"viewStationery", g.symbol("paperroll")},
                               {"title", text(note.title)},
                               {"labels", Value::nil()},
                               {"height", Value::integer(2 * kMargin + height)},
                               {"timeStamp", Value::integer(note.timeStamp)},
                               {"data", g.array({paragraph})}});
  return nsof::encode(g, frame).bytes;
}

std::int32_t minutesSince1904(std::int64_t localSeconds) {
  // Whole minutes, rounded down also before 1970.
  const std::int64_t minutes = (localSeconds >= 0 ? localSeconds : localSeconds - 59) / 60 + kMinutes1904To1970;
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(minutes, 0, nsof::kMaxInteger));
}

std::int32_t newtonTimeNow(std::time_t utcNow) {
  std::tm local{};
  localtime_r(&utcNow, &local);
  return minutesSince1904(static_cast<std::int64_t>(utcNow) + local.tm_gmtoff);
}

}  // namespace skiff::import
