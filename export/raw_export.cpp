#include "export/raw_export.h"

#include <filesystem>
#include <set>

#include "dock/entry_files.h"
#include "export/private_files.h"

namespace skiff::exporting {
namespace {

// A folder name for each store or soup of the run: two of one name (two cards both called "Card") get their
// signature or number added, and their frames still name them.
std::string uniqueFolder(std::set<std::string>& taken, const std::string& name, const std::string& tellApart) {
  std::string folder = dock::folderNameFor(name);
  if (!taken.insert(folder).second) {
    folder = dock::folderNameFor(name + " " + tellApart);
    taken.insert(folder);
  }
  return folder;
}

}  // namespace

RawReport exportRaw(archive::Archive& archive, archive::RunId run, const std::string& dir) {
  RawReport report;
  const auto fail = [&](std::string problem) {
    report.problems.push_back(std::move(problem));
    return report;
  };
  if (std::string problem = makePrivateFolder(dir, true); !problem.empty()) return fail(problem);
  // The folder is one run's stores and soups, as the simulated Newton reads it back: files of another export
  // left in it would come back as entries.
  std::error_code error;
  if (!std::filesystem::is_empty(dir, error) || error)
    return fail(dir + (error ? ": " + error.message() : " is not empty; the raw export needs a new or empty folder"));
  auto stores = archive.stores(run);
  if (!stores) return fail(stores.reason());
  auto soups = archive.soups(run);
  if (!soups) return fail(soups.reason());
  std::set<std::string> storeFolders;
  for (const archive::StoreRecord& store : *stores) {
    const std::string storeDir = dir + "/" + uniqueFolder(storeFolders, store.name, std::to_string(store.signature));
    if (std::string problem = makePrivateFolder(storeDir, false); !problem.empty()) return fail(problem);
    if (!store.frame.empty())
      if (std::string problem = writePrivateFile(storeDir + "/" + std::string(dock::kStoreFrameFile), store.frame);
          !problem.empty())
        return fail(problem);
    ++report.stores;
    std::set<std::string> soupFolders;
    for (const archive::SoupSummary& soup : *soups) {
      if (!(soup.store == store.id)) continue;
      const std::string soupDir = storeDir + "/" + uniqueFolder(soupFolders, soup.name, "(2)");
      if (std::string problem = makePrivateFolder(soupDir, false); !problem.empty()) return fail(problem);
      auto info = archive.soupInfo(run, store.id, soup.name);
      auto cursor = archive.entries(run, store.id, soup.name);
      if (!info || !cursor) {
        report.problems.push_back(!info ? info.reason() : cursor.reason());
        continue;
      }
      const auto sidecar = [&](std::string_view file, const archive::Bytes& bytes) {
        return bytes.empty() ? std::string() : writePrivateFile(soupDir + "/" + std::string(file), bytes);
      };
      for (const std::string& problem : {sidecar(dock::kSoupInfoFile, info->first),
                                         sidecar(dock::kSoupIndexesFile, info->second)})
        if (!problem.empty()) return fail(problem);
      ++report.soups;
      while (cursor->next()) {
        auto bytes = cursor->bytes();
        if (!bytes) {
          report.problems.push_back(bytes.reason());
          continue;
        }
        const std::string path = soupDir + "/" + dock::entryFileName(cursor->entry().uniqueId);
        if (std::string problem = writePrivateFile(path, *bytes); !problem.empty()) return fail(problem);
        ++report.entries;
        report.bytes += static_cast<std::int64_t>(bytes->size());
      }
      if (!cursor->status().ok()) report.problems.push_back(cursor->status().reason());
    }
  }
  return report;
}

}  // namespace skiff::exporting
