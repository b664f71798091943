#include "newton/content.h"

#include <algorithm>

#include "dock/nsof.h"
#include "newton/content_build.h"

namespace skiff::newton {
namespace {

using nsof::Graph;
using nsof::Value;

// A store signature is a NewtonScript integer (30 bits; the recorded internal store has 484680733): these are
// the low 30 bits of the internal store signature the simulated Newton's name frame reports, and of a card's.
constexpr std::uint32_t kInternalSignature = 0x1A1FF001;
constexpr std::uint32_t kCardSignature = 0x1A1FF0C2;

Value integer(std::uint32_t v) { return Value::integer(static_cast<std::int32_t>(v)); }

// The entry's first top-level text slot, with `mark` added; false when it has none.
bool markText(Graph& graph, Value frame, std::string_view mark) {
  const nsof::Node node = graph.node(frame);
  for (std::size_t i = 0; i < node.slotCount(); ++i) {
    const nsof::Node value = node.slotValue(i);
    if (!value.isText() || node.slotName(i).starts_with("_")) continue;
    graph.setSlot(frame, node.slotName(i), graph.string(*value.asText() + std::string(mark), value.className()));
    return true;
  }
  return false;
}

// The entry as a user's change leaves it: `mark` added to its text, a new ID and time.
ContentEntry rewritten(const ContentEntry& entry, std::uint32_t uniqueId, std::uint32_t now, std::string_view mark) {
  nsof::Decoded decoded = nsof::decode(entry.nsof);
  if (!decoded.ok() || !decoded.node().isFrame()) {
    decoded.graph = Graph();
    decoded.root = decoded.graph.frame({});
  }
  markText(decoded.graph, decoded.root, mark);
  decoded.graph.setSlot(decoded.root, "_uniqueID", integer(uniqueId));
  decoded.graph.setSlot(decoded.root, "_modTime", integer(now));
  return {uniqueId, now, nsof::encode(decoded.graph, decoded.root).bytes};
}

std::string applyEdit(NewtonContent& content, const ContentEdit& edit, std::uint32_t now) {
  const auto store = std::find_if(content.stores.begin(), content.stores.end(), [&](const ContentStore& s) {
    return edit.store.empty() ? s.isDefault : s.name == edit.store;
  });
  if (store == content.stores.end())
    return edit.store.empty() ? "no default store" : "no store " + edit.store;
  const auto soup = std::find_if(store->soups.begin(), store->soups.end(),
                                 [&](const ContentSoup& s) { return s.name == edit.soup; });
  if (soup == store->soups.end()) return "no soup " + edit.soup + " on store " + store->name;
  auto& entries = soup->entries;
  const std::size_t size = entries.size();
  const std::size_t changed = std::min<std::size_t>(static_cast<std::size_t>(std::max(edit.changed, 0)), size);
  const std::size_t deleted = std::min<std::size_t>(static_cast<std::size_t>(std::max(edit.deleted, 0)), size - changed);
  std::uint32_t nextId = 0;
  for (const ContentEntry& entry : entries) nextId = std::max(nextId, entry.uniqueId + 1);
  for (std::size_t i = 0; i < changed; ++i) entries[i] = rewritten(entries[i], entries[i].uniqueId, now, " (edited)");
  entries.resize(size - deleted);
  const std::vector<ContentEntry> models = entries;
  for (int k = 0; k < edit.added; ++k) {
    const ContentEntry model = models.empty() ? ContentEntry{} : models[static_cast<std::size_t>(k) % models.size()];
    entries.push_back(rewritten(model, nextId++, now, " (new)"));
  }
  soup->changedAt = now;
  return {};
}

}  // namespace

NewtonContent generatedContent(const ContentOptions& options) {
  build::SoupPlan plan;
  plan.seed = options.seed;
  plan.now = options.now != 0 ? options.now : build::at(2026, 6, 1, 9, 30);
  const int n = std::max(options.entriesPerSoup, 1);
  const auto soup = [&](ContentSoup (*make)(const build::SoupPlan&), int count, bool onCard = false) {
    build::SoupPlan p = plan;
    p.count = count;
    p.onCard = onCard;
    return make(p);
  };

  ContentStore internal{"Internal", "Internal", kInternalSignature, true, false, {}};
  internal.soups = {soup(build::notesSoup, n),          soup(build::namesSoup, n),
                    soup(build::calendarSoup, n),       soup(build::repeatMeetingsSoup, n),
                    soup(build::calendarNotesSoup, n),  soup(build::repeatNotesSoup, std::max(1, n / 2)),
                    soup(build::toDoSoup, std::max(1, n / 3)), soup(build::packagesSoup, 0),
                    soup(build::systemSoup, n),         soup(build::citiesSoup, n)};
  ContentStore card{"Flash Card", "Flash storage card", kCardSignature, false, false, {}};
  card.soups = {soup(build::notesSoup, n / 2 + 1, true), soup(build::namesSoup, n / 2 + 1, true),
                soup(build::packagesSoup, 0, true)};
  return {{std::move(internal), std::move(card)}};
}

Value storeFrame(Graph& graph, const ContentStore& store) {
  std::uint64_t used = 0;
  for (const ContentSoup& soup : store.soups)
    for (const ContentEntry& entry : soup.entries) used += entry.nsof.size();
  const std::uint32_t total = store.isDefault ? 4u << 20 : 8u << 20;
  return graph.frame({{"name", graph.string(store.name)},
                                   {"signature", integer(store.signature)},
                                   {"TotalSize", integer(total)},
                                   {"UsedSize", integer(static_cast<std::uint32_t>(std::min<std::uint64_t>(used, total)))},
                                   {"kind", graph.string(store.kind)},
                                   {"info", Value::nil()},
                                   {"readOnly", store.readOnly ? Value::trueValue() : Value::nil()},
                                   {"storepassword", Value::nil()},
                                   {"defaultStore", store.isDefault ? Value::trueValue() : Value::nil()},
                                   {"storeversion", Value::integer(4)}});
}

std::vector<std::uint8_t> storeFrame(const ContentStore& store) {
  Graph graph;
  const Value frame = storeFrame(graph, store);
  return nsof::encode(graph, frame).bytes;
}

std::string editContent(NewtonContent& content, const std::vector<ContentEdit>& edits, std::uint32_t now) {
  std::string problems;
  for (const ContentEdit& edit : edits) {
    const std::string problem = applyEdit(content, edit, now);
    if (!problem.empty()) problems += (problems.empty() ? "" : "; ") + problem;
  }
  return problems;
}

}  // namespace skiff::newton
