#include "newton/store_service.h"

#include <algorithm>

#include "dock/backup_ids.h"
#include "dock/nsof.h"
#include "dock/nsof_text.h"

namespace skiff::newton {

namespace {

constexpr std::int32_t kStoreNotFound = -28014;
constexpr std::int32_t kSoupNotFound = -28015;
constexpr std::int32_t kObjectCorrupted = -48005;
constexpr std::int32_t kBadCurrentSoup = -28006;
constexpr std::int32_t kBadStream = -48223;
constexpr std::int32_t kNotASoupEntry = -48009;
constexpr std::int32_t kDuplicateSoupName = -48014;

// The soups whose definitions a Newton OS 2.x ROM registers, with the applications that own them, for "cdsp".
struct RomSoup {
  const char* name;
  const char* owner;
};
constexpr RomSoup kRomSoups[] = {{"Notes", "paperroll"},          {"Names", "cardfile"},
                                 {"Calendar", "calendar"},        {"Repeat Meetings", "calendar"},
                                 {"Calendar Notes", "calendar"},  {"Repeat Notes", "calendar"}};

std::vector<std::uint8_t> encoded(const nsof::Graph& graph, nsof::Value root) { return nsof::encode(graph, root).bytes; }

std::uint32_t soupSignature(const std::string& name) {
  std::uint32_t h = 2166136261u;
  for (unsigned char c : name) h = (h ^ c) * 16777619u;
  return h & 0x1FFFFFFF;  // a NewtonScript integer
}

}  // namespace

StoreService::StoreService(NewtonContent content, BackupFaults faults, std::uint32_t clock)
    : content_(std::move(content)), faults_(std::move(faults)), clock_(clock) {}

bool StoreService::answers(const std::string& command) {
  static const char* const kCommands[] = {"gsto", "ssto", "sdef", "gets", "ssou", "gsin", "gind", "snds",
                                          "stme", "cinf", "cidx", "bksp", "adde", "cdsp"};
  return std::any_of(std::begin(kCommands), std::end(kCommands), [&](const char* c) { return command == c; });
}

const ContentStore* StoreService::store() const { return store_ ? &content_.stores[*store_] : nullptr; }

const ContentSoup* StoreService::soup() const {
  const ContentStore* s = store();
  return s != nullptr && soup_ ? &s->soups[*soup_] : nullptr;
}

std::vector<std::uint8_t> StoreService::storesFrame() const {
  nsof::Graph g;
  std::vector<nsof::Value> frames;
  for (const auto& store : content_.stores) frames.push_back(storeFrame(g, store));
  const nsof::Value all = g.array(frames);
  return encoded(g, all);
}

StoreAnswer StoreService::answer(const dock::Frame& frame) {
  StoreAnswer out;
  const auto result = [&](std::int32_t value) { out.frames.push_back(dock::encodeLongFrame("dres", value)); };
  const std::string& command = frame.command;
  if (command == "gsto") {
    out.frames.push_back(dock::encodeFrame("stor", storesFrame()));
  } else if (command == "ssto" || command == "sdef") {
    store_.reset();
    soup_.reset();
    const nsof::Decoded asked = nsof::decode(frame.data);
    for (std::size_t i = 0; i < content_.stores.size(); ++i) {
      const ContentStore& s = content_.stores[i];
      const bool chosen = command == "sdef" ? s.isDefault
                                            : asked.ok() && asked.node().slot("signature").asInt() ==
                                                                static_cast<std::int32_t>(s.signature);
      if (chosen) store_ = i;
    }
    result(store_ ? 0 : kStoreNotFound);
  } else if (command == "gets") {
    nsof::Graph names, signatures;
    std::vector<nsof::Value> n, sig;
    if (const ContentStore* s = store()) {
      for (const auto& soup : s->soups) {
        n.push_back(names.string(soup.name));
        sig.push_back(nsof::Value::integer(static_cast<std::int32_t>(soupSignature(soup.name))));
      }
    }
    std::vector<std::uint8_t> data = encoded(names, names.array(n));
    const std::vector<std::uint8_t> second = encoded(signatures, signatures.array(sig));
    data.insert(data.end(), second.begin(), second.end());
    out.frames.push_back(dock::encodeFrame("soup", data));
  } else if (command == "ssou") {
    soup_.reset();
    const std::string name = nsof::utf8FromUtf16(nsof::textUnits(frame.data));
    if (const ContentStore* s = store()) {
      for (std::size_t i = 0; i < s->soups.size(); ++i)
        if (s->soups[i].name == name) soup_ = i;
    }
    out.log.push_back("soup " + name + (soup_ ? "" : " not found"));
    result(soup_ ? 0 : kSoupNotFound);
  } else if (command == "gsin" || command == "gind") {
    const ContentSoup* s = soup();
    if (s == nullptr) {
      result(kSoupNotFound);
    } else {
      out.frames.push_back(dock::encodeFrame(command == "gsin" ? "sinf" : "indx", command == "gsin" ? s->info : s->indexes));
    }
  } else if (command == "snds") {
    const ContentSoup* s = soup();
    if (s == nullptr) {
      result(kSoupNotFound);
    } else if (s->name == faults_.failSoup) {
      out.log.push_back("fault fail-soup " + s->name);
      faults_.failSoup.clear();  // the first store's: a damaged soup is one soup
      result(kObjectCorrupted);
    } else {
      planned_.clear();
      streaming_ = true;
      next_ = 0;
      nextAtMs_ = -1;
    }
  } else if (command == "stme") {
    dock::Cursor cursor(frame.data);
    since_ = cursor.u32() & 0x1FFFFFFF;  // the Newton takes 29 bits of it
    out.frames.push_back(dock::encodeLongFrame("time", static_cast<std::int32_t>(clock_)));
  } else if (command == "cinf" || command == "cidx") {
    // The info changes with the soup here; the simulated Newton's indexes never do.
    const ContentSoup* s = soup();
    if (s == nullptr) {
      result(kSoupNotFound);
    } else if (command == "cinf" && s->changedAt > since_) {
      out.frames.push_back(dock::encodeFrame("sinf", s->info));
    } else {
      result(0);
    }
  } else if (command == "adde") {
    addEntry(frame, out);
  } else if (command == "cdsp") {
    makeSoup(frame, out);
  } else if (command == "bksp") {
    const ContentSoup* s = soup();
    if (s == nullptr) {
      result(kSoupNotFound);
    } else {
      dock::Cursor cursor(frame.data);
      planIncremental(cursor.u32());
      if (planned_.empty()) {
        out.frames.push_back(dock::encodeFrame("ndir", {}));
      } else {
        streaming_ = true;
        next_ = 0;
        nextAtMs_ = -1;
      }
    }
  }
  return out;
}

void StoreService::addEntry(const dock::Frame& frame, StoreAnswer& out) {
  const int number = ++adds_;
  const auto result = [&](std::int32_t value) { out.frames.push_back(dock::encodeLongFrame("dres", value)); };
  if (soup() == nullptr) return result(kBadCurrentSoup);
  if (const auto refusal = faults_.refusedAdds.find(number); refusal != faults_.refusedAdds.end()) {
    out.log.push_back("fault refuse-add " + std::to_string(number) + " result=" + std::to_string(refusal->second));
    return result(refusal->second);
  }
  nsof::Decoded entry = nsof::decode(frame.data);
  if (!entry.ok()) return result(kBadStream);
  if (!entry.node().isFrame()) return result(kNotASoupEntry);
  ContentStore& store = content_.stores[*store_];
  ContentSoup& soup = store.soups[*soup_];
  std::uint32_t id = 0;
  for (const ContentEntry& e : soup.entries) id = std::max(id, e.uniqueId + 1);
  entry.graph.setSlot(entry.root, "_uniqueID", nsof::Value::integer(static_cast<std::int32_t>(id)));
  entry.graph.setSlot(entry.root, "_modTime", nsof::Value::integer(static_cast<std::int32_t>(clock_)));
  std::vector<std::uint8_t> kept = encoded(entry.graph, entry.root);
  soup.entries.push_back({id, clock_, kept});
  soup.changedAt = clock_;
  out.log.push_back("added " + store.name + "/" + soup.name + " id=" + std::to_string(id));
  out.added = AddedEntry{store.name, soup.name, id, std::move(kept)};
  out.frames.push_back(dock::encodeLongFrame("adid", static_cast<std::int32_t>(id)));
}

void StoreService::makeSoup(const dock::Frame& frame, StoreAnswer& out) {
  const auto result = [&](std::int32_t value) { out.frames.push_back(dock::encodeLongFrame("dres", value)); };
  if (store() == nullptr) return result(kStoreNotFound);
  ContentStore& store = content_.stores[*store_];
  const std::string name = nsof::utf8FromUtf16(nsof::textUnits(frame.data));
  for (const ContentSoup& s : store.soups)
    if (s.name == name) return result(kDuplicateSoupName);
  const RomSoup* definition = nullptr;
  for (const RomSoup& rom : kRomSoups)
    if (name == rom.name) definition = &rom;
  if (definition == nullptr) return result(kSoupNotFound);
  ContentSoup soup;
  soup.name = name;
  nsof::Graph info;
  soup.info = encoded(info, info.frame({{"name", info.string(name)},
                                        {"userName", info.string(name)},
                                        {"ownerApp", info.symbol(definition->owner)}}));
  nsof::Graph indexes;
  soup.indexes = encoded(indexes, indexes.array({}));
  soup.changedAt = clock_;
  store.soups.push_back(std::move(soup));
  out.log.push_back("made soup " + store.name + "/" + name);
  result(0);
}

// The frames of an incremental backup in ID order: each entry changed since the "stme" time or newer than
// `lastId`, and between them the IDs of the entries left as they were. Nothing changed at all: no frames.
void StoreService::planIncremental(std::uint32_t lastId) {
  planned_.clear();
  const ContentSoup& s = *soup();
  bool changed = s.changedAt > since_;
  std::vector<std::uint32_t> kept;
  const auto listKept = [&] {
    for (const auto& message : dock::encodeBackupIds(kept)) planned_.push_back(dock::backupIdFrame(message));
    kept.clear();
  };
  for (const ContentEntry& entry : s.entries) {
    if (entry.modTime > since_ || entry.uniqueId > lastId) {
      changed = true;
      listKept();
      planned_.push_back(dock::encodeFrame("entr", entry.nsof));
    } else {
      kept.push_back(entry.uniqueId);
    }
  }
  listKept();
  if (!changed) {
    planned_.clear();
    return;
  }
  planned_.push_back(dock::encodeFrame("bsdn", {}));
}

std::optional<StoreAnswer> StoreService::nextOfStream(std::int64_t nowMs) {
  const ContentSoup* s = soup();
  if (!streaming_ || s == nullptr) return std::nullopt;
  if (faults_.entryMs > 0) {
    if (nextAtMs_ < 0) nextAtMs_ = nowMs + faults_.entryMs;
    if (nowMs < nextAtMs_) return std::nullopt;
    nextAtMs_ = nowMs + faults_.entryMs;
  }
  StoreAnswer out;
  const int sent = static_cast<int>(next_);
  if (s->name == faults_.dropInSoup && sent == faults_.dropAfterEntries) {
    out.log.push_back("fault drop-in-soup " + s->name + " after=" + std::to_string(sent));
    out.hangUp = true;
    streaming_ = false;
    faults_.dropInSoup.clear();
    return out;
  }
  if (s->name == faults_.cancelInSoup && sent == faults_.cancelAfterEntries) {
    out.log.push_back("fault cancel-in-soup " + s->name + " after=" + std::to_string(sent));
    out.frames.push_back(dock::encodeFrame("opca", {}));
    streaming_ = false;
    faults_.cancelInSoup.clear();
    return out;
  }
  if (!planned_.empty()) {
    out.frames.push_back(planned_[next_++]);
    if (next_ == planned_.size()) {
      streaming_ = false;
      planned_.clear();
    }
  } else if (next_ < s->entries.size()) {
    out.frames.push_back(dock::encodeFrame("entr", s->entries[next_++].nsof));
  } else {
    out.frames.push_back(dock::encodeFrame("bsdn", {}));
    streaming_ = false;
  }
  return out;
}

}  // namespace skiff::newton
