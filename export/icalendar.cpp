#include "export/icalendar.h"

#include <cstdio>
#include <ctime>

#include "export/content_line.h"
#include "export/export_time.h"
#include "export/newton_text.h"
#include "export/repeat_rule.h"

namespace skiff::exporting {
namespace {

using nsof::Node;

bool isAllDay(const Node& meeting) { return meeting.slot("viewStationery").isSymbol("cribNote"); }

std::string when(std::int64_t minutes, bool allDay) { return allDay ? icalDate(minutes) : icalDateTime(minutes); }

void addTime(std::string& out, std::string_view name, std::int64_t minutes, bool allDay) {
  addLine(out, std::string(name) + (allDay ? ";VALUE=DATE" : ""), when(minutes, allDay));
}

std::string duration(std::int64_t minutes) {
  if (minutes % (24 * 60) == 0 && minutes > 0) return "P" + std::to_string(minutes / (24 * 60)) + "D";
  return "PT" + std::to_string(minutes < 0 ? 0 : minutes) + "M";
}

// A Newton's notes on an entry: paragraphs as a note holds them.
std::string notesOf(const Node& notes) {
  std::string all;
  for (const Node& paragraph : notes.elements()) {
    const auto words = textOf(paragraph.slot("text"));
    if (!words) continue;
    if (!all.empty()) all += "\n";
    all += *words;
  }
  return all;
}

struct Meeting {
  std::int64_t start = 0;
  std::int64_t minutes = 0;
  bool allDay = false;
  std::string summary;
  std::string description;
  std::optional<std::int64_t> alarmBefore;  // minutes before the start
};

Meeting readMeeting(const Node& frame, std::int64_t start, bool repeating) {
  Meeting m;
  m.start = start;
  m.allDay = isAllDay(frame);
  m.minutes = frame.slot("mtgDuration").asInt().value_or(0);
  m.summary = textOf(frame.slot("mtgText"), "\n").value_or("");
  m.description = notesOf(frame.slot("notesData"));
  if (const auto alarm = frame.slot("mtgAlarm").asInt()) m.alarmBefore = repeating ? *alarm : start - *alarm;
  return m;
}

void addBody(std::string& out, const Meeting& m) {
  addTime(out, "DTSTART", m.start, m.allDay);
  addLine(out, "DURATION", m.allDay ? duration(std::max<std::int64_t>(m.minutes, 24 * 60) / (24 * 60) * 24 * 60)
                                    : duration(m.minutes));
  addLine(out, "SUMMARY", escapeText(m.summary));
  if (!m.description.empty()) addLine(out, "DESCRIPTION", escapeText(m.description));
  if (m.alarmBefore) {
    addLine(out, "BEGIN", "VALARM");
    addLine(out, "ACTION", "DISPLAY");
    addLine(out, "DESCRIPTION", escapeText(m.summary.empty() ? "Reminder" : m.summary));
    const std::int64_t before = *m.alarmBefore;
    addLine(out, "TRIGGER", (before >= 0 ? "-PT" : "PT") + std::to_string(before >= 0 ? before : -before) + "M");
    addLine(out, "END", "VALARM");
  }
}

void begin(std::string& out, std::string_view kind, std::string_view uid, std::string_view stamp) {
  addLine(out, "BEGIN", kind);
  addLine(out, "UID", escapeText(uid));
  addLine(out, "DTSTAMP", stamp);
}

}  // namespace

std::string utcStamp(std::int64_t newtonMinutes) {
  const std::time_t time = desktopTime(newtonMinutes).value_or(0);
  std::tm utc{};
  gmtime_r(&time, &utc);
  char text[80];
  std::snprintf(text, sizeof text, "%04d%02d%02dT%02d%02d%02dZ", utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday,
                utc.tm_hour, utc.tm_min, utc.tm_sec);
  return text;
}

std::string calendarStart() {
  std::string out;
  addLine(out, "BEGIN", "VCALENDAR");
  addLine(out, "VERSION", "2.0");
  addLine(out, "PRODID", "-//Skiff//Newton Dates export//EN");
  addLine(out, "CALSCALE", "GREGORIAN");
  return out;
}

std::string calendarEnd() {
  std::string out;
  addLine(out, "END", "VCALENDAR");
  return out;
}

Components meetingComponents(const Node& entry, std::string_view uid, std::string_view stamp) {
  const auto start = entry.slot("mtgStartDate").asInt();
  if (!start) return {{}, "a Dates entry without mtgStartDate"};
  const auto repeatType = entry.slot("repeatType").asInt();
  const Meeting meeting = readMeeting(entry, *start, repeatType.has_value());
  RepeatRule repeat;
  if (repeatType) {
    const auto stop = entry.slot("mtgStopDate").asInt();
    repeat = repeatRule(*repeatType, entry.slot("mtgInfo").asInt().value_or(0), *start,
                        stop ? std::optional<std::int64_t>(*stop) : std::nullopt, meeting.allDay);
    if (!repeat.problem.empty()) return {{}, repeat.problem};
  }
  std::string out;
  begin(out, "VEVENT", uid, stamp);
  addBody(out, meeting);
  if (!repeat.rule.empty()) addLine(out, "RRULE", repeat.rule);
  // Only the pair's two elements and the replacement's own slots are read: its repeatTemplate leads back here.
  std::string replaced;
  for (const Node& exception : repeat.rule.empty() ? std::vector<Node>() : entry.slot("exceptions").elements()) {
    const auto original = exception.element(0).asInt();
    if (!original) continue;
    const Node replacement = exception.element(1);
    const auto newStart = replacement.slot("mtgStartDate").asInt();
    if (!replacement.isFrame() || !newStart) {
      addTime(out, "EXDATE", *original, meeting.allDay);
      continue;
    }
    Meeting moved = readMeeting(replacement, *newStart, true);
    moved.allDay = meeting.allDay;
    if (!replacement.hasSlot("mtgAlarm")) moved.alarmBefore = meeting.alarmBefore;
    if (!replacement.hasSlot("mtgText")) moved.summary = meeting.summary;
    if (!replacement.hasSlot("mtgDuration")) moved.minutes = meeting.minutes;
    begin(replaced, "VEVENT", uid, stamp);
    addTime(replaced, "RECURRENCE-ID", *original, meeting.allDay);
    addBody(replaced, moved);
    addLine(replaced, "END", "VEVENT");
  }
  addLine(out, "END", "VEVENT");
  return {out + replaced, {}};
}

Components toDoComponents(const Node& entry, std::string_view uid, std::string_view stamp) {
  const auto day = entry.slot("date").asInt();
  std::vector<Node> items = entry.slot("topics").elements();
  if (items.empty() && entry.hasSlot("text")) items.push_back(entry);
  if (items.empty() && !entry.hasSlot("topics")) return {{}, "a to-do entry with neither topics nor text"};
  std::string out;
  for (std::size_t i = 0; i < items.size(); ++i) {
    const Node& item = items[i];
    begin(out, "VTODO", std::string(uid) + "-" + std::to_string(i + 1), stamp);
    addLine(out, "SUMMARY", escapeText(textOf(item.slot("text"), "\n").value_or("")));
    if (day) addLine(out, "DUE;VALUE=DATE", icalDate(*day));
    addLine(out, "STATUS", item.slot("mtgDone").isTrue() ? "COMPLETED" : "NEEDS-ACTION");
    addLine(out, "END", "VTODO");
  }
  return {out, {}};
}

}  // namespace skiff::exporting
