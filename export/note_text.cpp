#include "export/note_text.h"

#include <algorithm>
#include <numeric>
#include <tuple>

#include "export/newton_text.h"

namespace skiff::exporting {
namespace {

using nsof::Node;

constexpr int kDeepestLevel = 32;  // indentation beyond this reads no better and a hostile level costs memory

Placement placementOf(const Node& shape) {
  const Node bounds = shape.slot("viewBounds");
  return {bounds.slot("top").asInt(), bounds.slot("left").asInt()};
}

// What a shape shows as text: its words, or a marker for what is drawn.
std::string shapeText(const Node& shape) {
  if (auto text = textOf(shape.slot("text"))) return *text;
  if (shape.hasSlot("ink")) return std::string(kInkMarker);
  const std::string_view stationery = shape.slot("viewStationery").symbolName();
  if (nsof::equalsIgnoringCase(stationery, "pict")) return "[picture]";
  if (nsof::equalsIgnoringCase(stationery, "poly")) return "[drawing]";
  return "[" + std::string(stationery.empty() ? "shape" : stationery) + "]";
}

std::string firstLine(std::string_view text) {
  std::size_t start = text.find_first_not_of(" \n");
  if (start == std::string_view::npos) return {};
  return std::string(text.substr(start, text.find('\n', start) - start));
}

std::string plainNote(const Node& data) {
  std::vector<Placement> places;
  for (const Node& shape : data.elements()) places.push_back(placementOf(shape));
  std::string text;
  for (std::size_t index : onScreenOrder(places)) {
    if (!text.empty()) text += std::string(kLineEnd) + std::string(kLineEnd);
    text += shapeText(data.element(index));
  }
  return text;
}

std::string listNote(const Node& topics, bool checklist) {
  std::string text;
  for (const Node& topic : topics.elements()) {
    const std::optional<bool> done = checklist ? std::optional<bool>(topic.slot("mtgDone").isTrue()) : std::nullopt;
    text += listItem(textOf(topic.slot("text")).value_or(""), topic.slot("level").asInt().value_or(1), done);
  }
  return text;
}

}  // namespace

std::vector<std::size_t> onScreenOrder(std::span<const Placement> shapes) {
  std::vector<std::size_t> order(shapes.size());
  std::iota(order.begin(), order.end(), 0);
  const auto key = [&](std::size_t i) {
    const Placement& p = shapes[i];
    return std::tuple(!p.top.has_value(), p.top.value_or(0), p.left.value_or(0));
  };
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return key(a) < key(b); });
  return order;
}

std::string listItem(std::string_view text, int level, std::optional<bool> done) {
  const std::string indent(2 * static_cast<std::size_t>(std::clamp(level, 1, kDeepestLevel) - 1), ' ');
  const std::string bullet = !done ? "- " : *done ? "- [x] " : "- [ ] ";
  std::string item = indent + bullet;
  const std::string under = indent + std::string(bullet.size(), ' ');
  std::size_t start = 0;
  while (true) {
    const std::size_t end = text.find('\n', start);
    item.append(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
    item += kLineEnd;
    if (end == std::string_view::npos) break;
    item += under;
    start = end + 1;
  }
  return item;
}

NoteResult noteText(const Node& entry) {
  if (!entry.isFrame()) return {std::nullopt, "the entry is not a frame"};
  NoteText note;
  const std::string_view cls = entry.slot("class").symbolName();
  const Node data = entry.slot("data");
  const Node topics = entry.slot("topics");
  std::string body;
  std::string firstWords;  // what an untitled note is named after
  if (topics.isArray() && !data.isArray()) {
    note.markdown = true;
    body = listNote(topics, nsof::equalsIgnoringCase(cls, "checkList"));
    for (const Node& topic : topics.elements())
      if (firstWords.empty()) firstWords = firstLine(textOf(topic.slot("text")).value_or(""));
  } else if (data.isArray()) {
    body = plainNote(data);
    firstWords = firstLine(body);
  } else if (!entry.hasSlot("data") && !entry.hasSlot("topics")) {
    body.clear();  // an empty note: the Newton keeps no data until something is written
  } else {
    return {std::nullopt, "a note of class '" + std::string(cls) + "' whose data is not an array"};
  }
  const auto title = textOf(entry.slot("title"), " ");
  note.name = title && !title->empty() ? *title : firstWords;
  note.text = title ? *title + std::string(kLineEnd) + std::string(kLineEnd) + body : body;
  if (!note.text.empty() && !note.text.ends_with(kLineEnd)) note.text += kLineEnd;
  const auto stamp = entry.slot("timeStamp").asInt();
  const auto modTime = entry.slot("_modTime").asInt();
  if (stamp || modTime) note.date = static_cast<std::uint32_t>(stamp ? *stamp : *modTime);
  return {std::move(note), {}};
}

}  // namespace skiff::exporting
