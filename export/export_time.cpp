#include "export/export_time.h"

#include <cstdio>

#include "dock/newton_time.h"

namespace skiff::exporting {
namespace {

// Years of four digits: RFC 5545 and ISO 8601 dates have no room for more, and a Newton's integers end in 2925.
dock::CivilTime civil(std::int64_t minutes) {
  dock::CivilTime time = dock::civilFromNewtonMinutes(minutes);
  if (time.year < 0) time = {0, 1, 1, 0, 0};
  if (time.year > 9999) time = {9999, 12, 31, 23, 59};
  return time;
}

}  // namespace

std::string icalDate(std::int64_t newtonMinutes) {
  const dock::CivilTime t = civil(newtonMinutes);
  char text[48];
  std::snprintf(text, sizeof text, "%04d%02d%02d", t.year, t.month, t.day);
  return text;
}

std::string icalDateTime(std::int64_t newtonMinutes) {
  const dock::CivilTime t = civil(newtonMinutes);
  char text[48];
  std::snprintf(text, sizeof text, "%04d%02d%02dT%02d%02d00", t.year, t.month, t.day, t.hour, t.minute);
  return text;
}

std::string isoDate(std::int64_t newtonMinutes) {
  const dock::CivilTime t = civil(newtonMinutes);
  char text[48];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", t.year, t.month, t.day);
  return text;
}

std::optional<std::time_t> desktopTime(std::int64_t newtonMinutes) {
  const dock::CivilTime t = civil(newtonMinutes);
  std::tm local{};
  local.tm_year = t.year - 1900;
  local.tm_mon = t.month - 1;
  local.tm_mday = t.day;
  local.tm_hour = t.hour;
  local.tm_min = t.minute;
  local.tm_isdst = -1;  // whatever daylight saving time said on that day
  const std::time_t time = std::mktime(&local);
  if (time == static_cast<std::time_t>(-1)) return std::nullopt;
  return time;
}

}  // namespace skiff::exporting
