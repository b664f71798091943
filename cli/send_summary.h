// The line `skiff send` ends with: how many files went, how many bytes, how long it took, and how many of
// them the Newton took only in part.
#pragma once

#include <cstdint>
#include <string>

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

}  // namespace skiff::cli
