// Skiff's own link library: serial port, MNP and the pipe states, behind the link operations.
#pragma once

#include <functional>
#include <memory>

#include "link/link_ops.h"

namespace skiff {

// The library every front end uses. One instance serves the whole process.
std::unique_ptr<LinkOps> makeDilLink();

// Window, timers and compression: for the command line's options, tests and benchmarks; the Windows program keeps
// the defaults.
struct DilTuning {
  int window = 1;           // window the desktop offers in its LR (1 to 8; 1 gives the proven reply)
  int retransmitMs = 2000;  // retransmission timer, plus the unacknowledged frames' own time on the line
  int retryLimit = 8;       // retransmissions without progress before the link counts as lost
  bool compress = false;    // accept the V.42bis compression the Newton's LR offers, with its values
  // With compress: called once, at the first link whose Newton offered no compression (it runs uncompressed).
  std::function<void()> uncompressed = {};
};
// Applies to the pipes of `link` (made by makeDilLink) from their next CDPipeInit on.
void tuneDilLink(LinkOps& link, const DilTuning& tuning);

}  // namespace skiff
