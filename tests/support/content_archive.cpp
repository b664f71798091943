#include "tests/support/content_archive.h"

namespace skiff::test {

archive::NewtonIdentity simulatedNewton() { return {0x1234, "Skiff Test", {0, 0, 0, 0x38}}; }

archive::Result<archive::RunId> addContentRun(archive::Archive& archive, const newton::NewtonContent& content,
                                              bool completed) {
  std::uint32_t newest = 0;
  for (const auto& store : content.stores)
    for (const auto& soup : store.soups) newest = std::max(newest, soup.changedAt);
  auto run = archive.beginRun(simulatedNewton(), newest + 1, archive::RunKind::Full);
  if (!run) return run.status();
  for (const newton::ContentStore& store : content.stores) {
    auto storeId = archive.putStore(*run, {store.name, store.signature, store.kind, newton::storeFrame(store)});
    if (!storeId) return storeId.status();
    for (const newton::ContentSoup& soup : store.soups) {
      auto writer = archive.beginSoup(*run, *storeId, soup.name, soup.info, soup.indexes, archive::SoupMethod::Full);
      if (!writer) return writer.status();
      for (const newton::ContentEntry& entry : soup.entries)
        if (auto added = writer->addEntry(entry.uniqueId, entry.modTime, entry.nsof); !added) return added;
      if (auto counts = writer->commit(); !counts) return counts.status();
    }
  }
  if (auto finished = archive.finishRun(*run, completed); !finished) return finished;
  return *run;
}

archive::Status writeContentArchive(const std::string& path, const newton::NewtonContent& content) {
  auto archive = archive::Archive::open(path);
  if (!archive) return archive.status();
  return addContentRun(*archive, content).status();
}

}  // namespace skiff::test
