#include "cli/backup_report.h"

#include <cmath>
#include <cstdio>
#include <ctime>

#include "archive/file_checks.h"
#include "dock/result.h"

namespace skiff::cli {

std::string groupedCount(std::int64_t count) {
  const std::string digits = std::to_string(count < 0 ? -count : count);
  std::string out = count < 0 ? "-" : "";
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

std::string durationText(double seconds) {
  char text[48];
  if (seconds < 60) {
    std::snprintf(text, sizeof text, "%.1f s", seconds);
  } else if (seconds < 3600) {
    const auto whole = static_cast<long>(std::lround(seconds));
    std::snprintf(text, sizeof text, "%ld min %ld s", whole / 60, whole % 60);
  } else {
    const auto minutes = static_cast<long>(std::lround(seconds / 60));
    std::snprintf(text, sizeof text, "%ld h %ld min", minutes / 60, minutes % 60);
  }
  return text;
}

namespace {
std::string entriesText(std::int64_t n) { return groupedCount(n) + (n == 1 ? " entry" : " entries"); }
std::string plural(std::int64_t n, const char* one, const char* many) {
  return groupedCount(n) + " " + (n == 1 ? one : many);
}
}  // namespace

std::string soupLine(const backup::SoupResult& soup) {
  const std::string where = soup.soup.empty() ? soup.store : soup.store + "/" + soup.soup;
  if (soup.error != 0) return where + ": failed, " + dock::resultText(soup.error);
  if (soup.unchanged) return where + ": " + entriesText(soup.entries) + ", unchanged";
  std::string line = where + ": " + entriesText(soup.entries) + " (";
  if (soup.incremental) {
    line += groupedCount(soup.added) + " added, " + groupedCount(soup.changed) + " changed, " +
            groupedCount(soup.deleted) + " deleted; ";
  }
  return line + archive::sizeText(static_cast<std::uint64_t>(soup.bytes)) + ")";
}

std::string backupSummary(const backup::BackupOutcome& outcome, double seconds) {
  std::int64_t entries = 0, bytes = 0, soups = 0, added = 0, changed = 0, deleted = 0;
  bool incremental = false;
  std::vector<const backup::SoupResult*> failed;
  for (const auto& soup : outcome.soups) {
    if (soup.error != 0) {
      failed.push_back(&soup);
      continue;
    }
    ++soups;
    entries += soup.entries;
    bytes += soup.bytes;
    added += soup.added;
    changed += soup.changed;
    deleted += soup.deleted;
    incremental = incremental || soup.incremental;
  }
  std::string line = "Backed up " + plural(outcome.stores, "store", "stores") + ", " + plural(soups, "soup", "soups") +
                     ", " + entriesText(entries) + " (";
  if (incremental) {
    line += groupedCount(added) + " added, " + groupedCount(changed) + " changed, " + groupedCount(deleted) +
            " deleted; ";
  }
  line += archive::sizeText(static_cast<std::uint64_t>(bytes)) + " received) in " + durationText(seconds);
  if (!failed.empty()) {
    line += "; " + plural(static_cast<std::int64_t>(failed.size()), "soup", "soups") + " failed:";
    for (std::size_t i = 0; i < failed.size(); ++i) {
      const auto& soup = *failed[i];
      line += std::string(i == 0 ? " " : ", ") + (soup.soup.empty() ? soup.store : soup.soup) + " (" +
              std::to_string(soup.error) + ")";
    }
  }
  return line;
}

namespace {
std::string whenText(std::int64_t secondsSince1970) {
  const std::time_t t = static_cast<std::time_t>(secondsSince1970);
  std::tm local{};
  localtime_r(&t, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &local);
  return text;
}
}  // namespace

std::string archiveListing(archive::Archive& archive) {
  std::string out;
  const auto runs = archive.runs();
  if (!runs.ok()) return "cannot list " + archive.path() + ": " + runs.reason() + "\n";
  if (runs->empty()) return archive.path() + " holds no backup yet\n";
  for (const auto& run : *runs) {
    out += "Run " + std::to_string(run.id.value) + ", " + whenText(run.startedAt) + ", " +
           (run.kind == archive::RunKind::Full ? "full" : "incremental") + ", " +
           (run.completed ? "completed" : "did not finish") + ": " + entriesText(run.totals.entries);
    if (run.totals.added + run.totals.changed + run.totals.deleted > 0) {
      out += " (" + groupedCount(run.totals.added) + " added, " + groupedCount(run.totals.changed) + " changed, " +
             groupedCount(run.totals.deleted) + " deleted)";
    }
    out += "\n";
    const auto soups = archive.soups(run.id);
    if (!soups.ok()) return out + "  cannot list its soups: " + soups.reason() + "\n";
    for (const auto& soup : *soups) {
      out += "  " + soup.storeName + "/" + soup.name + ": " + entriesText(soup.counts.entries);
      if (soup.counts.added + soup.counts.changed + soup.counts.deleted > 0) {
        out += " (" + groupedCount(soup.counts.added) + " added, " + groupedCount(soup.counts.changed) +
               " changed, " + groupedCount(soup.counts.deleted) + " deleted)";
      }
      out += "\n";
    }
  }
  return out;
}

}  // namespace skiff::cli
