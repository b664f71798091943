// A repeating Dates entry's repeatType, mtgInfo and mtgStopDate as an iCalendar RRULE (RFC 5545 3.3.10). The
// types, as the Newton Programmer's Guide 2.0 names them: 0 day of week, 1 week in month, 2 date in month,
// 3 date in year, 4 period, 5 never, 7 week in year. mtgInfo holds, for 0, 1 and 7, days (Sun 0x800, Mon 0x400
// ... Sat 0x20) and weeks of the month (1st 0x10, 2nd 0x08, 3rd 0x04, 4th 0x02, last 0x01); for 2 the day of the
// month; for 3 month << 8 | day (a recorded annual event on 13 April holds 1037); for 4 the period in days.
// Where mtgInfo lacks what the rule needs, the start date gives it, as it gives the Newton its first instance.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace skiff::exporting {

// A stop date at or after this one (1 January 2090) means the Newton's "no end".
inline constexpr std::int64_t kRepeatsForever = 97'829'280;

struct RepeatRule {
  std::string rule;     // "FREQ=WEEKLY;BYDAY=MO,WE;UNTIL=..."; empty for type 5, which never repeats
  std::string problem;  // a type with no rule, or mtgInfo that cannot be read
};

// `allDay`: the event's DTSTART is a date, so UNTIL must be one too; else it is a floating date-time.
RepeatRule repeatRule(std::int32_t repeatType, std::int32_t mtgInfo, std::int64_t start,
                      std::optional<std::int64_t> stop, bool allDay);

}  // namespace skiff::exporting
