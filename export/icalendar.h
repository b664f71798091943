// Dates entries as iCalendar (RFC 5545) components. Times are floating (no TZID, no Z): the Newton keeps local
// time with no zone, so 9:00 stays 9:00 wherever the file is opened. A meeting is a VEVENT with DTSTART and
// DURATION; an event or day note (viewStationery 'cribNote) an all-day VEVENT (VALUE=DATE); mtgAlarm a VALARM
// (a time for a single meeting, minutes before for a repeating one); a repeating entry gets its RRULE, and each
// of its exceptions a VEVENT of its own that replaces the instance it names (RECURRENCE-ID), or an EXDATE when
// it puts nothing in the instance's place. To-dos are VTODOs.
#pragma once

#include <string>
#include <string_view>

#include "dock/nsof.h"

namespace skiff::exporting {

struct Components {
  std::string text;     // the components, CRLF line ends, folded
  std::string problem;  // why the entry could not be made into any; `text` is then empty
};

// `uid` names the entry for good; DTSTAMP (a UTC time RFC 5545 requires) is `stamp`, e.g. 20260601T073000Z.
Components meetingComponents(const nsof::Node& entry, std::string_view uid, std::string_view stamp);
Components toDoComponents(const nsof::Node& entry, std::string_view uid, std::string_view stamp);

// BEGIN:VCALENDAR with VERSION and PRODID, and its END.
std::string calendarStart();
std::string calendarEnd();

// The UTC form of a Newton time read as this computer's local time: 20260601T073000Z.
std::string utcStamp(std::int64_t newtonMinutes);

}  // namespace skiff::exporting
