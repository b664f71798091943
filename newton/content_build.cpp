#include "newton/content_build.h"

#include <algorithm>

#include "dock/newton_time.h"

namespace skiff::newton::build {

Pick::Pick(unsigned seed, std::string_view soup) {
  std::seed_seq sequence(soup.begin(), soup.end());
  std::vector<std::uint32_t> words(1);
  sequence.generate(words.begin(), words.end());
  engine_.seed(words[0] ^ (seed * 2654435761u));
}

ContentEntry finishEntry(nsof::Graph& graph, nsof::Value frame, std::uint32_t uniqueId, std::uint32_t modTime) {
  graph.setSlot(frame, "_uniqueID", nsof::Value::integer(static_cast<std::int32_t>(uniqueId)));
  graph.setSlot(frame, "_modTime", nsof::Value::integer(static_cast<std::int32_t>(modTime)));
  return {uniqueId, modTime, nsof::encode(graph, frame).bytes};
}

ContentSoup emptySoup(const SoupDef& def) {
  const auto makeIndexes = [&](nsof::Graph& graph) {
    std::vector<nsof::Value> indexes;
    for (const IndexSpec& index : def.indexes)
      indexes.push_back(graph.frame({{"structure", graph.symbol("slot")},
                                     {"path", graph.symbol(index.path)},
                                     {"type", graph.symbol(index.type)}}));
    return graph.array(std::move(indexes));
  };
  ContentSoup soup;
  soup.name = std::string(def.name);
  nsof::Graph info;
  const nsof::Value name = info.string(def.name);
  const nsof::Value soupDef = info.frame({{"name", name},
                                          {"userName", name},
                                          {"ownerApp", info.symbol(def.ownerApp)},
                                          {"ownerAppName", info.string(def.ownerAppName)},
                                          {"userDescr", info.string(def.userDescr)},
                                          {"indexes", makeIndexes(info)}});
  soup.info = nsof::encode(info, info.frame({{"soupDef", soupDef}})).bytes;
  nsof::Graph indexes;
  soup.indexes = nsof::encode(indexes, makeIndexes(indexes)).bytes;
  return soup;
}

void settle(ContentSoup& soup) {
  std::sort(soup.entries.begin(), soup.entries.end(),
            [](const ContentEntry& a, const ContentEntry& b) { return a.uniqueId < b.uniqueId; });
  soup.changedAt = 0;
  for (const ContentEntry& entry : soup.entries) soup.changedAt = std::max(soup.changedAt, entry.modTime);
}

nsof::Value bounds(nsof::Graph& graph, int left, int top, int right, int bottom) {
  return graph.frame({{"left", nsof::Value::integer(left)},
                      {"top", nsof::Value::integer(top)},
                      {"right", nsof::Value::integer(right)},
                      {"bottom", nsof::Value::integer(bottom)}});
}

nsof::Value paragraph(nsof::Graph& graph, std::string_view text, nsof::Value viewBounds) {
  return graph.frame({{"viewStationery", graph.symbol("para")}, {"viewBounds", viewBounds}, {"text", graph.string(text)}});
}

nsof::Value richString(nsof::Graph& graph, std::u16string_view text, std::span<const std::uint8_t> ink) {
  std::vector<std::uint8_t> bytes = nsof::stringBytes(text);
  bytes.insert(bytes.end(), ink.begin(), ink.end());
  return graph.binary(graph.symbol("string"), std::move(bytes));
}

std::uint32_t at(int year, int month, int day, int hour, int minute) {
  return static_cast<std::uint32_t>(dock::newtonMinutesFromCivil({year, month, day, hour, minute}).value_or(0));
}

std::uint32_t dayOf(std::uint32_t minutes) { return minutes - minutes % dock::kMinutesPerDay; }

std::vector<std::uint8_t> someBytes(Pick& pick, std::size_t count) {
  std::vector<std::uint8_t> bytes(count);
  for (auto& byte : bytes) byte = static_cast<std::uint8_t>(pick.below(256));
  return bytes;
}

}  // namespace skiff::newton::build
