// A first content: each of two stores with a few soups of plain entries.
#include "newton/content.h"

#include <filesystem>
#include <fstream>
#include <iterator>

#include "dock/nsof.h"

namespace skiff::newton {

namespace {
std::vector<std::uint8_t> encoded(const nsof::Graph& g, nsof::Value v) { return nsof::encode(g, v).bytes; }
}  // namespace

NewtonContent generatedContent(const ContentOptions& options) {
  NewtonContent c;
  for (int s = 0; s < 2; ++s) {
    ContentStore store;
    store.name = s == 0 ? "Internal" : "Card";
    store.kind = s == 0 ? "Internal" : "Flash storage card";
    store.signature = s == 0 ? 0x1A1FF001 : 0x12345;
    store.isDefault = s == 0;
    for (const char* soupName : {"Notes", "Names", "Packages"}) {
      ContentSoup soup;
      soup.name = soupName;
      nsof::Graph gi;
      soup.info = encoded(gi, gi.frame({{"name", gi.string(soupName)}}));
      nsof::Graph gx;
      soup.indexes = encoded(gx, gx.array({}));
      for (int i = 0; i < options.entriesPerSoup; ++i) {
        nsof::Graph g;
        const auto id = static_cast<std::uint32_t>(i);
        const std::uint32_t modTime = 60000000 + id;
        const nsof::Value e = g.frame({{"_uniqueID", nsof::Value::integer(i)},
                                       {"_modTime", nsof::Value::integer(static_cast<std::int32_t>(modTime))},
                                       {"text", g.string(std::string(soupName) + " entry " + std::to_string(i) +
                                                         std::string(100 + i * 7 % 300, 'x'))}});
        soup.entries.push_back({id, modTime, encoded(g, e)});
      }
      store.soups.push_back(std::move(soup));
    }
    c.stores.push_back(std::move(store));
  }
  return c;
}

std::optional<NewtonContent> loadContent(const std::string& dir, std::string* error) {
  namespace fs = std::filesystem;
  NewtonContent content;
  std::error_code ec;
  for (const auto& storeDir : fs::directory_iterator(dir, ec)) {
    if (!storeDir.is_directory()) continue;
    ContentStore store{storeDir.path().filename().string(), "Internal", 0, content.stores.empty(), false, {}};
    for (const auto& soupDir : fs::directory_iterator(storeDir.path())) {
      ContentSoup soup;
      soup.name = soupDir.path().filename().string();
      for (const auto& file : fs::directory_iterator(soupDir.path())) {
        std::ifstream in(file.path(), std::ios::binary);
        std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
        const nsof::Decoded decoded = nsof::decode(bytes);
        if (!decoded.ok()) {
          *error = file.path().string() + ": " + decoded.error->message();
          return std::nullopt;
        }
        const auto id = decoded.node().slot("_uniqueID").asInt().value_or(0);
        const auto time = decoded.node().slot("_modTime").asInt().value_or(0);
        soup.entries.push_back({static_cast<std::uint32_t>(id), static_cast<std::uint32_t>(time), bytes});
      }
      store.soups.push_back(std::move(soup));
    }
    content.stores.push_back(std::move(store));
  }
  if (ec) {
    *error = dir + ": " + ec.message();
    return std::nullopt;
  }
  return content;
}

void editContent(NewtonContent&, const std::vector<ContentEdit>&, std::uint32_t) {}

}  // namespace skiff::newton
