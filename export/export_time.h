// Newton times (minutes since 1904, local, no zone) in the forms the exported files take them.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

namespace skiff::exporting {

std::string icalDate(std::int64_t newtonMinutes);      // 20260601: a date, for all-day events
std::string icalDateTime(std::int64_t newtonMinutes);  // 20260601T093000: floating, no zone, no Z
std::string isoDate(std::int64_t newtonMinutes);       // 2026-06-01: vCard's BDAY
// The desktop's clock reading of that local time in this computer's zone (the Newton keeps none, so its owner's
// local time is the best reading); nothing when the system cannot say.
std::optional<std::time_t> desktopTime(std::int64_t newtonMinutes);

}  // namespace skiff::exporting
