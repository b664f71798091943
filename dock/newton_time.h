// Newton times: whole minutes since 1 January 1904 00:00 in the Newton's local time, with no zone (the dock
// protocol's "time", an entry's _modTime, a note's timeStamp, a meeting's mtgStartDate). The calendar is the
// proleptic Gregorian one; 1904 was chosen by the Newton's makers because it is a leap year.
#pragma once

#include <cstdint>
#include <optional>

namespace skiff::dock {

struct CivilTime {
  int year = 1904;
  int month = 1;   // 1-12
  int day = 1;     // 1-31
  int hour = 0;
  int minute = 0;
  friend bool operator==(const CivilTime&, const CivilTime&) = default;
};

inline constexpr std::int64_t kMinutesPerDay = 24 * 60;
// Between 1 January 1904 and 1 January 1970 (the epoch of desktop clocks): 24,107 days.
inline constexpr std::int64_t kMinutes1904To1970 = 34'714'080;

// Days since 1 January 1970 of a civil date, and back (any year; H. Hinnant's civil-days algorithm).
std::int64_t daysFromCivil(int year, int month, int day);
CivilTime civilFromDays(std::int64_t days);

CivilTime civilFromNewtonMinutes(std::int64_t minutes);
// Minutes since 1904 of a civil time; nothing when the date does not exist (30 February) or falls outside
// what a Newton's 30-bit integers hold.
std::optional<std::int64_t> newtonMinutesFromCivil(const CivilTime& time);

// 0 Sunday ... 6 Saturday.
int weekdayOf(std::int64_t newtonMinutes);

}  // namespace skiff::dock
