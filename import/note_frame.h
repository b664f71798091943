// A plain-text note as the Newton's Notes application keeps it, built for "adde": the slots of a 'paperroll
// note, its text in one paragraph as wide as the Newton's screen.
#pragma once

#include <cstdint>
#include <ctime>
#include <string_view>
#include <vector>

namespace skiff::import {

struct PlainNote {
  std::u16string_view title;
  std::u16string_view text;     // lines end in CR
  std::int32_t timeStamp = 0;   // when it was made, minutes since 1904
  int screenWidth = 320;        // the Newton's, from its name frame
};

// {class: 'paperroll, viewStationery: 'paperroll, title, labels: nil (unfiled), height, timeStamp,
//  data: [{viewStationery: 'para, text, viewBounds: {left, top, right, bottom}}]} in NSOF. The paragraph spans
// the screen less a margin of 5 on each side and is tall enough for its text; the note is as tall as its
// paragraph.
std::vector<std::uint8_t> plainNoteFrame(const PlainNote& note);

// The paragraph's height: at least the 500 pixels desktops give a note, more for text of more lines than that
// holds at `width` (a generous estimate of the Newton's default font, so that nothing is cut off).
int paragraphHeight(std::u16string_view text, int width);

// The screen width to lay a note out for: the Newton's own, or the 320 pixels of a MessagePad when the name
// frame gives none that makes sense.
int noteWidth(std::uint32_t screenWidth);

// Newton dates count minutes since 1 January 1904 in local time. `localSeconds` counts seconds since 1970 in
// local time (the UTC time plus the zone's offset).
std::int32_t minutesSince1904(std::int64_t localSeconds);
// Now, in this computer's local time.
std::int32_t newtonTimeNow(std::time_t utcNow);

}  // namespace skiff::import
