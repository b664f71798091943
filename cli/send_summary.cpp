#include "cli/send_summary.h"

#include "ui/texts.h"

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

}  // namespace skiff::cli
