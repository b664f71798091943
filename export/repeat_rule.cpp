#include "export/repeat_rule.h"

#include <array>
#include <vector>

#include "dock/newton_time.h"
#include "export/export_time.h"

namespace skiff::exporting {
namespace {

constexpr std::array<const char*, 7> kDays = {"SU", "MO", "TU", "WE", "TH", "FR", "SA"};
constexpr std::int32_t kWeekBits = 0x1F;

std::int32_t dayBit(int weekday) { return 0x800 >> weekday; }

// The ordinal of each week bit: 1st ... 4th, and -1 for the last week.
std::vector<int> weeksOf(std::int32_t info) {
  std::vector<int> weeks;
  for (int k = 0; k < 4; ++k)
    if (info & (0x10 >> k)) weeks.push_back(k + 1);
  if (info & 0x01) weeks.push_back(-1);
  return weeks;
}

std::string days(std::int32_t info, std::int64_t start, const std::vector<int>& weeks) {
  if ((info & 0xFE0) == 0) info |= dayBit(dock::weekdayOf(start));
  std::string list;
  for (int week : weeks.empty() ? std::vector<int>{0} : weeks)
    for (int day = 0; day < 7; ++day) {
      if ((info & dayBit(day)) == 0) continue;
      if (!list.empty()) list += ',';
      if (week != 0) list += std::to_string(week);
      list += kDays[static_cast<std::size_t>(day)];
    }
  return list;
}

// The week of the month the start falls in, for a rule whose mtgInfo names none.
std::int32_t startWeek(std::int64_t start) {
  const int day = dock::civilFromNewtonMinutes(start).day;
  return day > 28 ? 0x01 : 0x10 >> ((day - 1) / 7);
}

}  // namespace

RepeatRule repeatRule(std::int32_t repeatType, std::int32_t mtgInfo, std::int64_t start,
                      std::optional<std::int64_t> stop, bool allDay) {
  const dock::CivilTime first = dock::civilFromNewtonMinutes(start);
  std::string rule;
  switch (repeatType) {
    case 0: {
      const std::int32_t weeks = mtgInfo & kWeekBits;
      rule = weeks == 0 || weeks == kWeekBits ? "FREQ=WEEKLY;BYDAY=" + days(mtgInfo, start, {})
                                              : "FREQ=MONTHLY;BYDAY=" + days(mtgInfo, start, weeksOf(mtgInfo));
      break;
    }
    case 1:
    case 7: {
      const std::int32_t weeks = (mtgInfo & kWeekBits) != 0 ? mtgInfo : mtgInfo | startWeek(start);
      rule = repeatType == 1 ? "FREQ=MONTHLY" : "FREQ=YEARLY;BYMONTH=" + std::to_string(first.month);
      rule += ";BYDAY=" + days(mtgInfo, start, weeksOf(weeks));
      break;
    }
    case 2: {
      const int day = mtgInfo >= 1 && mtgInfo <= 31 ? mtgInfo : first.day;
      rule = "FREQ=MONTHLY;BYMONTHDAY=" + std::to_string(day);
      break;
    }
    case 3: {
      const int month = mtgInfo >> 8, day = mtgInfo & 0xFF;
      const bool valid = month >= 1 && month <= 12 && day >= 1 && day <= 31;
      rule = "FREQ=YEARLY;BYMONTH=" + std::to_string(valid ? month : first.month) +
             ";BYMONTHDAY=" + std::to_string(valid ? day : first.day);
      break;
    }
    case 4:
      if (mtgInfo < 1) return {{}, "repeats every " + std::to_string(mtgInfo) + " days"};
      rule = mtgInfo == 1 ? "FREQ=DAILY" : "FREQ=DAILY;INTERVAL=" + std::to_string(mtgInfo);
      break;
    case 5: return {};
    default: return {{}, "repeatType " + std::to_string(repeatType) + " is none the Dates application knows"};
  }
  if (stop && *stop < kRepeatsForever) rule += ";UNTIL=" + (allDay ? icalDate(*stop) : icalDateTime(*stop));
  return {rule, {}};
}

}  // namespace skiff::exporting
