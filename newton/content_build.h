// What the generated soups are made with: seeded choices, entry frames finished with their system slots, soup
// info frames and paragraphs as the built-in applications keep them. One function per stock soup follows, each
// in the file of its application (content_notes.cpp, content_names.cpp, content_dates.cpp, content_system.cpp).
#pragma once

#include <cstdint>
#include <initializer_list>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "dock/nsof.h"
#include "newton/content.h"

namespace skiff::newton::build {

// Deterministic choices for one soup of one seed (std::mt19937's output is the same on every platform; its
// distributions are not, so none is used).
class Pick {
 public:
  Pick(unsigned seed, std::string_view soup);
  std::uint32_t below(std::uint32_t n) { return n == 0 ? 0 : static_cast<std::uint32_t>(engine_() % n); }
  bool chance(std::uint32_t percent) { return below(100) < percent; }
  template <class T, std::size_t N>
  const T& from(const T (&items)[N]) { return items[below(N)]; }

 private:
  std::mt19937 engine_;
};

// What a soup's generator is asked for.
struct SoupPlan {
  unsigned seed = 1;
  int count = 12;          // entries to make
  std::uint32_t now = 0;   // the Newton's clock, minutes since 1904
  std::uint32_t firstId = 0;
  bool onCard = false;     // the card's copy of a soup holds other entries than the internal store's
};

// The entry's bytes, with _uniqueID and _modTime added last as a Newton's soup adds them to a new entry.
ContentEntry finishEntry(nsof::Graph& graph, nsof::Value frame, std::uint32_t uniqueId, std::uint32_t modTime);

struct IndexSpec {
  std::string_view path;  // the slot indexed
  std::string_view type;  // 'string, 'int, 'tags, 'symbol
};
// The soup info frame ("gsin") and index array ("gind") of a soup, shaped as a real Newton's Names soup info is:
// {soupDef: {name, userName, ownerApp, ownerAppName, userDescr, indexes: [{structure: 'slot, path, type}]}}.
struct SoupDef {
  std::string_view name;
  std::string_view ownerApp;
  std::string_view ownerAppName;
  std::string_view userDescr;
  std::vector<IndexSpec> indexes;
};
ContentSoup emptySoup(const SoupDef& def);
// The soup's changedAt: its newest entry's _modTime.
void settle(ContentSoup& soup);

// {left, top, right, bottom}, as the applications write viewBounds.
nsof::Value bounds(nsof::Graph& graph, int left, int top, int right, int bottom);
// A paragraph shape: {viewStationery: 'para, viewBounds, text}.
nsof::Value paragraph(nsof::Graph& graph, std::string_view text, nsof::Value viewBounds);
// A rich string: the text (U+F700 where an ink word stands), its terminator, then the words' ink.
nsof::Value richString(nsof::Graph& graph, std::u16string_view text, std::span<const std::uint8_t> ink);

// Minutes since 1904 for a local date and time (inputs are the generator's own, always valid).
std::uint32_t at(int year, int month, int day, int hour = 0, int minute = 0);
// Midnight of the day `minutes` falls in.
std::uint32_t dayOf(std::uint32_t minutes);
std::vector<std::uint8_t> someBytes(Pick& pick, std::size_t count);

ContentSoup notesSoup(const SoupPlan& plan);
ContentSoup namesSoup(const SoupPlan& plan);
ContentSoup calendarSoup(const SoupPlan& plan);
ContentSoup repeatMeetingsSoup(const SoupPlan& plan);
ContentSoup calendarNotesSoup(const SoupPlan& plan);
ContentSoup repeatNotesSoup(const SoupPlan& plan);
ContentSoup toDoSoup(const SoupPlan& plan);
ContentSoup packagesSoup(const SoupPlan& plan);
ContentSoup systemSoup(const SoupPlan& plan);
ContentSoup citiesSoup(const SoupPlan& plan);

}  // namespace skiff::newton::build
