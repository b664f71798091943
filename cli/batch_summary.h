// The lines the batch commands end with. `skiff send`: how many files went, how many bytes, how long it took,
// and how many of them the Newton took only in part. `skiff install`: how many packages the Newton installed,
// their bytes, the time, and how many it refused.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace skiff::cli {

struct SendFigures {
  int named = 0;               // files on the command line
  int sent = 0;                // files whose data all went and was answered
  std::int64_t bytes = 0;      // their data bytes
  double seconds = 0;          // from the start of the command
  int incomplete = 0;          // of the sent files, those with parts the Newton refused
};

// "Sent 3 of 4 files, 12345 bytes, in 31.2 s; 1 incomplete (the Newton refused parts of it)."
std::string sendSummary(const SendFigures& figures);

struct InstallFigures {
  int named = 0;               // packages on the command line
  int installed = 0;           // packages the Newton reported installed
  int refused = 0;             // packages the Newton refused
  std::int64_t bytes = 0;      // the installed packages' bytes
  double seconds = 0;          // from the start of the command
};

// "Installed 2 of 3 packages, 12345 bytes, in 31.2 s; 1 refused by the Newton."
std::string installSummary(const InstallFigures& figures);

// "Not sent: c.pkg, d.pkg." for the names given; empty for none.
std::string notSentLine(const std::vector<std::string>& names);

}  // namespace skiff::cli
