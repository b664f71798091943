#include "dock/newton_time.h"

#include "dock/nsof_graph.h"

namespace skiff::dock {

std::int64_t daysFromCivil(int year, int month, int day) {
  const std::int64_t y = static_cast<std::int64_t>(year) - (month <= 2 ? 1 : 0);
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yearOfEra = y - era * 400;
  const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

CivilTime civilFromDays(std::int64_t days) {
  days += 719468;
  const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const std::int64_t dayOfEra = days - era * 146097;
  const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const std::int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;
  CivilTime time;
  time.day = static_cast<int>(dayOfYear - (153 * shiftedMonth + 2) / 5 + 1);
  time.month = static_cast<int>(shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9);
  time.year = static_cast<int>(yearOfEra + era * 400 + (time.month <= 2 ? 1 : 0));
  return time;
}

namespace {

std::int64_t floorDiv(std::int64_t a, std::int64_t b) { return a / b - ((a % b != 0 && (a < 0) != (b < 0)) ? 1 : 0); }

}  // namespace

CivilTime civilFromNewtonMinutes(std::int64_t minutes) {
  const std::int64_t sinceEpoch = minutes - kMinutes1904To1970;
  const std::int64_t days = floorDiv(sinceEpoch, kMinutesPerDay);
  const std::int64_t inDay = sinceEpoch - days * kMinutesPerDay;
  CivilTime time = civilFromDays(days);
  time.hour = static_cast<int>(inDay / 60);
  time.minute = static_cast<int>(inDay % 60);
  return time;
}

std::optional<std::int64_t> newtonMinutesFromCivil(const CivilTime& time) {
  if (time.month < 1 || time.month > 12 || time.day < 1 || time.hour < 0 || time.hour > 23 || time.minute < 0 ||
      time.minute > 59)
    return std::nullopt;
  const std::int64_t days = daysFromCivil(time.year, time.month, time.day);
  if (civilFromDays(days).day != time.day) return std::nullopt;  // 30 February rolls over
  const std::int64_t minutes = days * kMinutesPerDay + kMinutes1904To1970 + time.hour * 60 + time.minute;
  if (minutes < nsof::kMinInteger || minutes > nsof::kMaxInteger) return std::nullopt;
  return minutes;
}

int weekdayOf(std::int64_t newtonMinutes) {
  const std::int64_t days = floorDiv(newtonMinutes - kMinutes1904To1970, kMinutesPerDay);
  return static_cast<int>(((days % 7) + 11) % 7);  // 1 January 1970 was a Thursday (4)
}

}  // namespace skiff::dock
