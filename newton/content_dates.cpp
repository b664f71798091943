// The Dates application's soups (owner 'calendar), as the Newton Programmer's Guide 2.0 lists them: "Calendar"
// (meetings that happen once), "Repeat Meetings" (meetings with a repeatType, mtgInfo and mtgStopDate, and their
// exceptions), "Calendar Notes" (events of a day: viewStationery 'cribNote, no duration) and "Repeat Notes"
// (repeating events), and the To Do List's "To do". A repeating entry's exceptions are [original date,
// replacement meeting] pairs whose replacement points back at the entry through repeatTemplate, the reference
// cycle the real Repeat Meetings entry that peers recorded holds. mtgAlarm is a time for a single meeting and a
// number of minutes before for a repeating one. No public description of a To do entry's slots was found: it is
// modelled as the day (`date`) and its items as a checklist keeps them (text, level, mtgDone).
#include <algorithm>

#include "dock/newton_time.h"
#include "newton/content_build.h"

namespace skiff::newton::build {
namespace {

using nsof::Graph;
using nsof::Node;
using nsof::Value;

constexpr std::uint32_t kForever = 97'829'280;  // 1 January 2090: the stop date "no end" is kept as
constexpr std::uint32_t kDay = 24 * 60;

const char* const kMeetings[] = {"Dentist",       "Team meeting, room 4",     "Lunch with Ana; bring the plans",
                                 "Call Müller",   "Review: \"Skiff\" release", "Budget 2026/27",
                                 "Yoga",          "Parents' evening"};
const char* const kEvents[] = {"Holiday",      "Conference in Porto", "Zoë's birthday party",
                               "Office closed", "Marathon, 42 km",    "Moving day"};
const char* const kToDos[] = {"Post the letters", "Renew the insurance", "Charge the batteries",
                              "Return library books", "Order printer paper", "Call the plumber"};

Value integer(std::uint32_t v) { return Value::integer(static_cast<std::int32_t>(v)); }

std::uint32_t dayBit(std::uint32_t minutes) { return 0x800u >> dock::weekdayOf(minutes); }
// The week of the month a date falls in: 1st 0x10 ... 4th 0x02; a fifth week only counts as the last (0x01).
std::uint32_t weekBit(std::uint32_t minutes) {
  const int day = dock::civilFromNewtonMinutes(minutes).day;
  return day > 28 ? 0x01 : 0x10u >> ((day - 1) / 7);
}

Value meeting(Graph& graph, std::string_view stationery, std::uint32_t start, std::uint32_t duration,
              std::string_view text) {
  return graph.frame({{"class", graph.symbol("meeting")},
                      {"viewStationery", graph.symbol(stationery)},
                      {"mtgStartDate", integer(start)},
                      {"mtgDuration", integer(duration)},
                      {"mtgText", graph.string(text)},
                      {"viewBounds", Value::nil()}});
}

ContentSoup datesSoup(std::string_view name, std::string_view descr) {
  return emptySoup({name, "calendar", "Dates", descr, {{"mtgStartDate", "int"}}});
}

std::uint32_t someStart(Pick& pick, std::uint32_t now) {
  const std::uint32_t day = dayOf(now) - 20 * kDay + pick.below(40) * kDay;
  return day + (8 + pick.below(10)) * 60 + (pick.chance(50) ? 30 : 0);
}

// A repeating meeting or event of each repeatType in turn, with mtgInfo as the type reads it: the days of the
// week (Sun 0x800 ... Sat 0x20) and weeks of the month (1st 0x10 ... last 0x01) for types 0, 1 and 7; the day of
// the month for 2; month << 8 | day for 3 (the recorded "family day" holds 1037 for 13 April); the period in
// days for 4.
struct Repeat {
  std::uint32_t type;
  std::uint32_t info;
};
Repeat repeatFor(std::uint32_t type, std::uint32_t start) {
  const dock::CivilTime civil = dock::civilFromNewtonMinutes(start);
  switch (type) {
    case 0: return {type, dayBit(start) | 0x100u >> (dock::weekdayOf(start) == 3 ? 1 : 0)};  // and Wednesday
    case 1: return {type, dayBit(start) | weekBit(start)};
    case 2: return {type, static_cast<std::uint32_t>(civil.day)};
    case 3: return {type, static_cast<std::uint32_t>(civil.month << 8 | civil.day)};
    case 4: return {type, 14};
    case 7: return {type, dayBit(start) | weekBit(start)};
    default: return {5, 0};
  }
}

Value repeating(Graph& graph, Pick& pick, std::string_view stationery, std::uint32_t type, std::uint32_t start,
                std::uint32_t duration, std::string_view text) {
  const Repeat repeat = repeatFor(type, start);
  Value entry = meeting(graph, stationery, start, duration, text);
  graph.setSlot(entry, "repeatType", integer(repeat.type));
  graph.setSlot(entry, "mtgInfo", integer(repeat.info));
  graph.setSlot(entry, "mtgStopDate", pick.chance(50) ? integer(kForever) : integer(start + 400 * kDay));
  graph.setSlot(entry, "mtgAlarm", duration > 0 && pick.chance(60) ? integer(10) : Value::nil());
  graph.setSlot(entry, "exceptions", Value::nil());
  return entry;
}

// The instance at `original` moves by `shift` minutes and gets its own text.
void addException(Graph& graph, Value entry, std::uint32_t original, std::int32_t shift, std::string_view text) {
  const Node node = graph.node(entry);
  const std::int32_t duration = node.slot("mtgDuration").asInt().value_or(0);
  Value replacement = meeting(graph, "exceptionMeeting", original + static_cast<std::uint32_t>(shift),
                              static_cast<std::uint32_t>(duration), text);
  graph.setSlot(replacement, "originDate", integer(original));
  graph.setSlot(replacement, "repeatTemplate", entry);
  Value exceptions = node.slot("exceptions").value();
  if (exceptions.isNil()) {
    exceptions = graph.array({});
    graph.setSlot(entry, "exceptions", exceptions);
  }
  graph.append(exceptions, graph.array({integer(original), replacement}));
}

std::uint32_t startOf(const Graph& graph, Value entry) {
  return static_cast<std::uint32_t>(graph.node(entry).slot("mtgStartDate").asInt().value_or(0));
}

std::uint32_t id(const SoupPlan& plan, int i) { return plan.firstId + static_cast<std::uint32_t>(i); }
std::uint32_t modTime(Pick& pick, const SoupPlan& plan) { return plan.now - pick.below(60 * 24 * 60); }

}  // namespace

ContentSoup calendarSoup(const SoupPlan& plan) {
  ContentSoup soup = datesSoup("Calendar", "Meetings");
  Pick pick(plan.seed, "Calendar");
  for (int i = 0; i < plan.count; ++i) {
    Graph graph;
    const std::uint32_t start = someStart(pick, plan.now);
    std::string text = pick.from(kMeetings);
    if (i == 2) text = "Agenda, long: " + std::string(40, '=') + " Übersicht über alle Änderungen; Größen, Maße";
    if (i == 3) text = "Two lines\rsecond line";
    Value entry = meeting(graph, "meeting", start, 30 * (1 + pick.below(4)), text);
    graph.setSlot(entry, "mtgAlarm", i % 2 == 0 ? integer(start - 15) : Value::nil());
    graph.setSlot(entry, "mtgIconType", Value::nil());
    if (i % 3 == 0)
      graph.setSlot(entry, "notesData", graph.array({paragraph(graph, "Bring the contract.", bounds(graph, 5, 5, 300, 40))}));
    graph.setSlot(entry, "version", Value::integer(2));
    soup.entries.push_back(finishEntry(graph, entry, id(plan, i), modTime(pick, plan)));
  }
  settle(soup);
  return soup;
}

ContentSoup repeatMeetingsSoup(const SoupPlan& plan) {
  ContentSoup soup = datesSoup("Repeat Meetings", "Repeating meetings");
  Pick pick(plan.seed, "Repeat Meetings");
  const std::uint32_t kTypes[] = {0, 1, 2, 3, 4, 7, 5};
  for (int i = 0; i < plan.count; ++i) {
    Graph graph;
    const std::uint32_t type = kTypes[static_cast<std::size_t>(i) % std::size(kTypes)];
    Value entry = repeating(graph, pick, "repeatingMeeting", type, someStart(pick, plan.now), 60, pick.from(kMeetings));
    const std::uint32_t start = startOf(graph, entry);
    if (i == 0) {  // the weekly one: two instances moved
      addException(graph, entry, start + 7 * kDay, 60, "Moved an hour: room 2");
      addException(graph, entry, start + 14 * kDay, -static_cast<std::int32_t>(kDay), "A day early");
    }
    if (type == 2) addException(graph, entry, start, 120, "First one later");
    graph.setSlot(entry, "version", Value::integer(2));
    soup.entries.push_back(finishEntry(graph, entry, id(plan, i), modTime(pick, plan)));
  }
  settle(soup);
  return soup;
}

ContentSoup calendarNotesSoup(const SoupPlan& plan) {
  ContentSoup soup = datesSoup("Calendar Notes", "Events");
  Pick pick(plan.seed, "Calendar Notes");
  for (int i = 0; i < plan.count; ++i) {
    Graph graph;
    Value entry = meeting(graph, "cribNote", dayOf(someStart(pick, plan.now)), 0, pick.from(kEvents));
    graph.setSlot(entry, "mtgAlarm", Value::nil());
    soup.entries.push_back(finishEntry(graph, entry, id(plan, i), modTime(pick, plan)));
  }
  settle(soup);
  return soup;
}

ContentSoup repeatNotesSoup(const SoupPlan& plan) {
  ContentSoup soup = datesSoup("Repeat Notes", "Repeating events");
  Pick pick(plan.seed, "Repeat Notes");
  for (int i = 0; i < plan.count; ++i) {
    Graph graph;
    std::uint32_t day = dayOf(someStart(pick, plan.now)) - 365 * kDay;
    if (dock::civilFromNewtonMinutes(day).day > 28) day -= 3 * kDay;  // a date every year and month has
    const bool annual = i % 3 != 2;
    Value entry = repeating(graph, pick, "cribNote", annual ? 3 : 2, day, 0,
                            annual ? "Birthday: " + std::string(pick.from(kEvents)) : "Pay the rent");
    if (annual) graph.setSlot(entry, "mtgIconType", graph.symbol("annualEvent"));
    if (i == 0 && annual) {
      const dock::CivilTime first = dock::civilFromNewtonMinutes(day);
      addException(graph, entry, at(first.year + 1, first.month, std::min(first.day, 28)), 4 * kDay,
                   "Celebrated on the weekend");
    }
    graph.setSlot(entry, "version", Value::integer(2));
    soup.entries.push_back(finishEntry(graph, entry, id(plan, i), modTime(pick, plan)));
  }
  settle(soup);
  return soup;
}

ContentSoup toDoSoup(const SoupPlan& plan) {
  ContentSoup soup = datesSoup("To do", "To do items");
  Pick pick(plan.seed, "To do");
  for (int i = 0; i < plan.count; ++i) {
    Graph graph;
    std::vector<Value> items;
    for (int k = 0; k < 2 + i % 3; ++k) {
      Value item = graph.frame({{"text", graph.string(pick.from(kToDos))}, {"level", Value::integer(1)}});
      graph.setSlot(item, "mtgDone", k == 0 ? Value::trueValue() : Value::nil());
      items.push_back(item);
    }
    Value entry = graph.frame({{"date", integer(dayOf(plan.now) + static_cast<std::uint32_t>(i - 2) * kDay)},
                               {"topics", graph.array(std::move(items))}});
    soup.entries.push_back(finishEntry(graph, entry, id(plan, i), modTime(pick, plan)));
  }
  settle(soup);
  return soup;
}

}  // namespace skiff::newton::build
