#include "export/export_run.h"

#include <cstdio>

namespace skiff::exporting {

RunChoice chooseRun(archive::Archive& archive, std::optional<std::int64_t> asked) {
  auto runs = archive.runs();
  if (!runs) return {{}, {}, runs.reason()};
  if (runs->empty()) return {{}, {}, archive.path() + " holds no backup yet"};
  if (asked) {
    for (const archive::RunSummary& run : *runs)
      if (run.id.value == *asked) {
        const std::string notice = run.completed ? "" : "run " + std::to_string(*asked) +
                                                            " did not finish: its soups are exported as far as it got";
        return {run.id, notice, {}};
      }
    return {{}, {}, "no run " + std::to_string(*asked) + " in " + archive.path() + " (runs 1 to " +
                        std::to_string(runs->back().id.value) + ")"};
  }
  const archive::RunSummary& latest = runs->back();
  if (latest.completed) return {latest.id, {}, {}};
  for (auto run = runs->rbegin(); run != runs->rend(); ++run)
    if (run->completed)
      return {run->id,
              "run " + std::to_string(latest.id.value) + " did not finish; exporting run " +
                  std::to_string(run->id.value) + ", the latest complete one (--run " +
                  std::to_string(latest.id.value) + " takes the other)",
              {}};
  return {latest.id, "no run finished: exporting run " + std::to_string(latest.id.value) + " as far as it got", {}};
}

std::string entryUid(std::uint32_t storeSignature, std::string_view soup, std::uint32_t uniqueId) {
  char signature[16];
  std::snprintf(signature, sizeof signature, "%08x", static_cast<unsigned>(storeSignature));
  std::string uid = signature;
  uid += '-';
  for (char c : soup) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
    uid += plain ? c : (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : '-';
  }
  return uid + "-" + std::to_string(uniqueId);
}

std::string entryPlace(std::string_view store, std::string_view soup, std::uint32_t uniqueId) {
  return std::string(store) + ", " + std::string(soup) + ", entry " + std::to_string(uniqueId);
}

}  // namespace skiff::exporting
