// A Notes entry as a text file: a plain note's shapes in on-screen order (its `data` array is in the order the
// shapes were made; the Newton shows them by viewBounds), outlines and checklists as Markdown lists.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "dock/nsof.h"

namespace skiff::exporting {

struct NoteText {
  std::string name;      // what the file is named after: the title, else the first line
  std::string text;      // UTF-8, the platform's line ends
  bool markdown = false; // an outline or checklist
  std::optional<std::uint32_t> date;  // timeStamp (else _modTime): minutes since 1904
};

struct NoteResult {
  std::optional<NoteText> note;
  std::string problem;  // why it is no note, when it is not
};

NoteResult noteText(const nsof::Node& entry);

// Where a shape stands; a shape without viewBounds has none and goes last.
struct Placement {
  std::optional<std::int32_t> top, left;
};
// The indices of the shapes in reading order: by top, then left, the array's order between equals.
std::vector<std::size_t> onScreenOrder(std::span<const Placement> shapes);

// One topic of an outline or checklist as a Markdown list item: indented two spaces a level below the first,
// "- [x] " or "- [ ] " on a checklist, continuation lines under the item's text.
std::string listItem(std::string_view text, int level, std::optional<bool> done);

}  // namespace skiff::exporting
