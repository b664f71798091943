// `skiff export`: a run of the archive as files a person's other programs read. Under DIR: notes/ (a text file
// per note of every store's Notes soup), names.vcf (every card of the Names soups, vCard 3.0), dates.ics (the
// Dates soups and the to-dos, iCalendar) and packages/ (each package of the Packages soups, byte for byte as
// the Newton keeps it, so `skiff install` puts it back). An entry that cannot be made into its format is
// reported and left out; it stays in the archive and in the raw export.
#pragma once

#include <string>
#include <vector>

#include "archive/archive.h"

namespace skiff::exporting {

struct ExportCounts {
  int notes = 0;
  int cards = 0;
  int events = 0;    // entries of the Dates soups, to-dos included
  int packages = 0;
};

struct ExportReport {
  ExportCounts counts;
  std::vector<std::string> problems;  // one line per entry not exported, or the failure that ended the export
  std::vector<std::string> notices;   // what else the user should hear: soups that have no readable form
  bool complete() const { return problems.empty(); }
};

ExportReport exportReadable(archive::Archive& archive, archive::RunId run, const std::string& dir);

// "Exported 14 notes, 23 cards, 31 events, 3 packages to DIR".
std::string summaryLine(const ExportCounts& counts, const std::string& dir);

}  // namespace skiff::exporting
