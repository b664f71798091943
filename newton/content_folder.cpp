// The simulated Newton's content read from a folder laid out as a raw export (dock/entry_files.h), so that what
// a backup took off a Newton can be served again. Nothing in it is taken on trust: every file must decode.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "dock/entry_files.h"
#include "dock/nsof.h"
#include "newton/content.h"

namespace skiff::newton {
namespace {

namespace fs = std::filesystem;

struct Reading {
  std::string problem;  // the first thing that went wrong, naming the file
  bool failed() const { return !problem.empty(); }
};

std::vector<std::uint8_t> readFile(const fs::path& path, Reading& reading) {
  std::ifstream file(path, std::ios::binary);
  std::vector<std::uint8_t> bytes(std::istreambuf_iterator<char>(file), {});
  if (!file.good() && !file.eof()) reading.problem = path.string() + ": cannot be read";
  return bytes;
}

// The file's bytes, which must be one NSOF stream; its decoding through `use`.
template <class Use>
std::vector<std::uint8_t> readNsof(const fs::path& path, Reading& reading, Use use) {
  std::vector<std::uint8_t> bytes = readFile(path, reading);
  if (reading.failed()) return bytes;
  const nsof::Decoded decoded = nsof::decode(bytes);
  if (!decoded.ok())
    reading.problem = path.string() + ": not NSOF: " + decoded.error->message();
  else
    use(decoded.node());
  return bytes;
}

std::vector<fs::directory_entry> sortedEntries(const fs::path& dir, Reading& reading) {
  std::vector<fs::directory_entry> entries;
  std::error_code error;
  for (fs::directory_iterator it(dir, error), end; !error && it != end; it.increment(error)) entries.push_back(*it);
  if (error) reading.problem = dir.string() + ": " + error.message();
  std::sort(entries.begin(), entries.end(),
            [](const auto& a, const auto& b) { return a.path().filename() < b.path().filename(); });
  return entries;
}

// A folder's name as the export wrote it; one cut for its length stays as it stands.
std::string nameOf(const fs::path& folder) {
  const std::string text = folder.filename().string();
  return dock::nameOfFolder(text).value_or(text);
}

ContentSoup readSoup(const fs::path& dir, Reading& reading) {
  ContentSoup soup;
  soup.name = nameOf(dir);
  for (const fs::directory_entry& file : sortedEntries(dir, reading)) {
    if (reading.failed()) break;
    const std::string name = file.path().filename().string();
    if (name == dock::kSoupInfoFile) {
      soup.info = readNsof(file.path(), reading, [](const nsof::Node&) {});
      continue;
    }
    if (name == dock::kSoupIndexesFile) {
      soup.indexes = readNsof(file.path(), reading, [](const nsof::Node&) {});
      continue;
    }
    const auto id = dock::entryIdOfFile(name);
    if (!id || !file.is_regular_file()) {
      reading.problem = file.path().string() + ": not an entry (entries are files named UNIQUEID.nsof)";
      break;
    }
    ContentEntry entry;
    entry.uniqueId = *id;
    entry.nsof = readNsof(file.path(), reading, [&](const nsof::Node& root) {
      const auto slotId = root.slot("_uniqueID").asInt();
      if (slotId && static_cast<std::uint32_t>(*slotId) != *id)
        reading.problem = file.path().string() + ": its _uniqueID is " + std::to_string(*slotId);
      entry.modTime = static_cast<std::uint32_t>(root.slot("_modTime").asInt().value_or(0));
    });
    soup.changedAt = std::max(soup.changedAt, entry.modTime);
    soup.entries.push_back(std::move(entry));
  }
  std::sort(soup.entries.begin(), soup.entries.end(),
            [](const ContentEntry& a, const ContentEntry& b) { return a.uniqueId < b.uniqueId; });
  return soup;
}

ContentStore readStore(const fs::path& dir, Reading& reading) {
  ContentStore store;
  store.name = nameOf(dir);
  store.kind = store.name == "Internal" ? "Internal" : "Storage card";
  store.isDefault = store.name == "Internal";
  for (const fs::directory_entry& item : sortedEntries(dir, reading)) {
    if (reading.failed()) break;
    if (item.path().filename() == dock::kStoreFrameFile) {
      readNsof(item.path(), reading, [&](const nsof::Node& frame) {
        if (auto name = frame.slot("name").asText()) store.name = *name;
        if (auto kind = frame.slot("kind").asText()) store.kind = *kind;
        store.signature = static_cast<std::uint32_t>(frame.slot("signature").asInt().value_or(0));
        store.isDefault = frame.slot("defaultStore").isTrue();
        store.readOnly = frame.slot("readOnly").isTrue();
      });
    } else if (item.is_directory()) {
      store.soups.push_back(readSoup(item.path(), reading));
    } else {
      reading.problem = item.path().string() + ": not a soup's folder";
    }
  }
  return store;
}

}  // namespace

std::optional<NewtonContent> loadContent(const std::string& dir, std::string* error) {
  Reading reading;
  NewtonContent content;
  std::error_code status;
  if (!fs::is_directory(dir, status)) reading.problem = dir + ": not a folder";
  for (const fs::directory_entry& item : reading.failed() ? std::vector<fs::directory_entry>() : sortedEntries(dir, reading)) {
    if (reading.failed()) break;
    if (!item.is_directory()) {
      reading.problem = item.path().string() + ": not a store's folder";
      break;
    }
    content.stores.push_back(readStore(item.path(), reading));
  }
  if (!reading.failed() && content.stores.empty()) reading.problem = dir + ": no store in it";
  if (!reading.failed() && std::none_of(content.stores.begin(), content.stores.end(),
                                        [](const ContentStore& s) { return s.isDefault; }))
    content.stores.front().isDefault = true;  // a Newton always has a default store
  if (reading.failed()) {
    if (error != nullptr) *error = reading.problem;
    return std::nullopt;
  }
  // The default store first, as a Newton lists its stores.
  std::stable_partition(content.stores.begin(), content.stores.end(), [](const ContentStore& s) { return s.isDefault; });
  return content;
}

}  // namespace skiff::newton
