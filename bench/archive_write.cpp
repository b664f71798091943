// Writing and reading the backup archive: a full backup of 20 MB of entries (many small Names and Notes
// entries, a few large packages), an incremental run with 1% changed, a full run that sends every entry again
// unchanged, reopening with the integrity check, a listing, and reading every entry back. Prints entries per
// second, megabytes per second, the time of each step and the peak resident size; asserts nothing.
// Usage: archive_write [FOLDER]   (default: a new folder under the system's temporary folder, removed after)
#include <stdlib.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/archive.h"

namespace {

using namespace skiff::archive;
using Clock = std::chrono::steady_clock;

struct SoupShape {
  const char* name;
  std::uint32_t entries;
  std::size_t entrySize;
};
// About 8 MB + 4 MB + 8 MB.
constexpr SoupShape kSoups[] = {{"Names", 8000, 1024}, {"Notes", 2000, 2048}, {"Packages", 16, 512 << 10}};

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

long peakKilobytes() {
  rusage usage {};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// The entry's bytes in `buffer`, reused from entry to entry: between half and one and a half times the soup's
// mean size, as entries vary; `generation` stands for an edit on the Newton.
void fill(Bytes& buffer, std::size_t mean, std::uint32_t id, std::uint32_t generation) {
  buffer.resize(mean / 2 + (id * 2654435761u >> 8) % mean);
  std::uint32_t x = id * 2654435761u + generation * 97u + 1;
  for (auto& byte : buffer) byte = static_cast<std::uint8_t>((x = x * 1103515245u + 12345u) >> 16);
}

bool check(const Status& status, const char* what) {
  if (!status) std::fprintf(stderr, "%s: %s\n", what, status.reason().c_str());
  return status.ok();
}

// One run over every soup: `changedEvery` 0 sends everything (a full run), N sends every Nth entry edited and
// lists the rest as still present.
bool backUp(Archive& archive, RunKind kind, std::uint32_t changedEvery, std::uint32_t generation, const char* label) {
  const NewtonIdentity newton{0x00C0FFEE, "Ben Tem", {}};
  const auto start = Clock::now();
  auto run = archive.beginRun(newton, 60'000'000 + generation, kind);
  if (!check(run.status(), "beginRun")) return false;
  auto store = archive.putStore(*run, {"Internal", 0x1234, "Internal", {}});
  if (!check(store.status(), "putStore")) return false;
  Bytes buffer;
  std::int64_t sent = 0, bytes = 0, listed = 0;
  for (const auto& shape : kSoups) {
    const auto method = changedEvery == 0 ? SoupMethod::Full : SoupMethod::Incremental;
    auto writer = archive.beginSoup(*run, *store, shape.name, Bytes{2, 6}, Bytes{2, 5}, method);
    if (!check(writer.status(), "beginSoup")) return false;
    std::vector<std::uint32_t> present;
    for (std::uint32_t id = 0; id < shape.entries; ++id) {
      if (changedEvery != 0 && id % changedEvery != 0) {
        present.push_back(id);
        continue;
      }
      fill(buffer, shape.entrySize, id, changedEvery == 0 ? 0 : generation);
      if (!check(writer->addEntry(id, 1000 + id, buffer), "addEntry")) return false;
      ++sent;
      bytes += static_cast<std::int64_t>(buffer.size());
    }
    if (!present.empty() && !check(writer->stillPresent(present), "stillPresent")) return false;
    listed += static_cast<std::int64_t>(present.size());
    if (!check(writer->commit().status(), "commit")) return false;
  }
  if (!check(archive.finishRun(*run, true), "finishRun")) return false;
  const double seconds = secondsSince(start);
  std::printf("%-34s %8.2f s  %7lld entries sent (%6.1f MB), %7lld listed  %9.0f entries/s  %6.1f MB/s"
              "  peak RSS %ld KB\n",
              label, seconds, static_cast<long long>(sent), static_cast<double>(bytes) / 1e6,
              static_cast<long long>(listed), static_cast<double>(sent) / seconds,
              static_cast<double>(bytes) / 1e6 / seconds, peakKilobytes());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::string folder;
  bool removeAfter = false;
  if (argc > 1) {
    folder = argv[1];
  } else {
    std::string pattern = (std::filesystem::temp_directory_path() / "archive-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) return 1;
    folder = pattern;
    removeAfter = true;
  }
  const std::string path = folder + "/bench.skiff";
  std::filesystem::remove(path);
  std::printf("archive %s; peak RSS before opening %ld KB\n", path.c_str(), peakKilobytes());

  int failed = 0;
  {
    auto archive = Archive::open(path);
    if (!archive) {
      std::fprintf(stderr, "%s\n", archive.reason().c_str());
      return 1;
    }
    failed |= !backUp(*archive, RunKind::Full, 0, 0, "full run, 20 MB");
    failed |= !backUp(*archive, RunKind::Incremental, 100, 1, "incremental run, 1% changed");
    failed |= !backUp(*archive, RunKind::Full, 0, 0, "full run again, nothing changed");
  }
  std::printf("archive size %.1f MB after three runs\n", static_cast<double>(std::filesystem::file_size(path)) / 1e6);

  auto start = Clock::now();
  auto archive = Archive::openForReading(path);
  if (!archive) {
    std::fprintf(stderr, "%s\n", archive.reason().c_str());
    return 1;
  }
  std::printf("%-34s %8.3f s\n", "reopening (integrity check)", secondsSince(start));

  start = Clock::now();
  std::size_t soups = 0;
  const auto runs = archive->runs();
  for (const auto& run : *runs) soups += archive->soups(run.id)->size();
  std::printf("%-34s %8.3f s  (%zu soups)\n", "listing every run and soup", secondsSince(start), soups);

  start = Clock::now();
  std::int64_t entries = 0, bytes = 0;
  const auto stores = archive->stores(RunId{2});
  for (const auto& store : *stores) {
    for (const auto& soup : kSoups) {
      auto cursor = archive->entries(RunId{2}, store.id, soup.name);
      if (!cursor) return 1;
      while (cursor->next()) {
        bytes += static_cast<std::int64_t>(cursor->bytes()->size());
        ++entries;
      }
    }
  }
  const double seconds = secondsSince(start);
  std::printf("%-34s %8.2f s  %7lld entries (%6.1f MB)  %9.0f entries/s  peak RSS %ld KB\n",
              "reading run 2 back, every entry", seconds, static_cast<long long>(entries),
              static_cast<double>(bytes) / 1e6, static_cast<double>(entries) / seconds, peakKilobytes());
  if (removeAfter) std::filesystem::remove_all(folder);
  return failed;
}
