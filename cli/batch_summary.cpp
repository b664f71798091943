#include "cli/batch_summary.h"

#include "core/texts.h"

namespace skiff::cli {

std::string sendSummary(const SendFigures& f) {
  std::string line = "Sent " + std::to_string(f.sent);
  if (f.sent != f.named) line += " of " + std::to_string(f.named);
  line += f.named == 1 ? " file, " : " files, ";
  line += std::to_string(f.bytes) + (f.bytes == 1 ? " byte, in " : " bytes, in ");
  line += FormatBounded(32, "%.1f s", f.seconds);
  if (f.incomplete > 0) {
    line += "; " + std::to_string(f.incomplete) + " incomplete (the Newton refused parts of " +
            (f.incomplete == 1 ? "it)" : "them)");
  }
  return line + ".";
}

std::string installSummary(const InstallFigures& f) {
  std::string line = "Installed " + std::to_string(f.installed);
  if (f.installed != f.named) line += " of " + std::to_string(f.named);
  line += f.named == 1 ? " package, " : " packages, ";
  line += std::to_string(f.bytes) + (f.bytes == 1 ? " byte, in " : " bytes, in ");
  line += FormatBounded(32, "%.1f s", f.seconds);
  if (f.refused > 0) line += "; " + std::to_string(f.refused) + " refused by the Newton";
  return line + ".";
}

std::string notSentLine(const std::vector<std::string>& names) {
  if (names.empty()) return {};
  std::string line = "Not sent:";
  for (std::size_t i = 0; i < names.size(); ++i) line += (i == 0 ? " " : ", ") + names[i];
  return line + ".";
}

}  // namespace skiff::cli
