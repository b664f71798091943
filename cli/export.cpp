// skiff export: a backup archive as files a person uses (notes, names.vcf, dates.ics, packages), or with --raw
// as the Newton sent every entry. Reads the archive only; no port is opened.
#include <cstdio>
#include <string>

#include "archive/archive.h"
#include "cli/command_run.h"
#include "cli/commands.h"
#include "export/export_run.h"
#include "export/raw_export.h"
#include "export/readable_export.h"

namespace skiff::cli {
namespace {

// The archive's name without its extension, in the current folder; an archive with no extension gets
// ".export" added, so the folder is never the archive itself.
std::string defaultFolder(const std::string& archive) {
  const std::string name = baseName(archive);
  const std::size_t dot = name.find_last_of('.');
  return dot == std::string::npos || dot == 0 ? name + ".export" : name.substr(0, dot);
}

void sayAll(const std::vector<std::string>& lines) {
  for (const std::string& line : lines) complain(Command::Export, line);
}

}  // namespace

int cmdExport(int argc, char** argv) {
  const auto taken = takeCommandLine(Command::Export, argc, argv);
  if (const int* exitCode = std::get_if<int>(&taken)) return *exitCode;
  const CommandLine& line = std::get<CommandLine>(taken);

  auto archive = archive::Archive::openForReading(line.operands.front());
  if (!archive) {
    complain(Command::Export, archive.reason());
    return 1;
  }
  sayAll(archive->notices());
  const exporting::RunChoice choice = exporting::chooseRun(*archive, line.run);
  if (!choice.problem.empty()) {
    complain(Command::Export, choice.problem);
    return 1;
  }
  if (!choice.notice.empty()) complain(Command::Export, choice.notice);

  if (!line.rawDir.empty()) {
    const exporting::RawReport report = exporting::exportRaw(*archive, choice.run, line.rawDir);
    sayAll(report.problems);
    std::printf("Wrote %lld entries (%lld bytes) of %d soups on %d stores, as the Newton sent them, to %s\n",
                static_cast<long long>(report.entries), static_cast<long long>(report.bytes), report.soups,
                report.stores, line.rawDir.c_str());
    return report.problems.empty() ? 0 : 1;
  }
  const std::string dir = line.toDir.empty() ? defaultFolder(line.operands.front()) : line.toDir;
  const exporting::ExportReport report = exporting::exportReadable(*archive, choice.run, dir);
  sayAll(report.notices);
  sayAll(report.problems);
  std::printf("%s\n", exporting::summaryLine(report.counts, dir).c_str());
  return report.complete() ? 0 : 1;
}

}  // namespace skiff::cli
