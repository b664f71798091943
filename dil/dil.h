// dil/: the link library: serial port and TCP per OS, MNP, V.42bis and the pipe states.
//
// Skiff's own link library: serial port, MNP and the pipe states, behind the link operations.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "core/link_ops.h"

namespace skiff {

// The library every front end uses. One instance serves the whole process.
std::unique_ptr<LinkOps> makeDilLink();

// Window, timers and compression: for the command line's options, tests and benchmarks; the Windows program keeps
// the defaults.
struct DilTuning {
  int window = 1;           // window the desktop offers in its LR (1 to 8; 1 gives the proven reply)
  int retransmitMs = 2000;  // the retransmission timer's ceiling (it follows the line, see retransmitFloorMs)
  int retryLimit = 8;       // retransmissions without progress before the link counts as lost (patience 0)
  // Above 0: the link counts as lost once its LTs have waited this long without an acknowledgement (the timer
  // backs off to its ceiling and keeps asking), however many tries that took; the retry limit then does not apply.
  int patienceMs = 0;
  int openingWaitMs = 10000;  // on a tcp: port, a caller must say what it is (and an MNP caller call) in this
  int frameGapChars = 8;    // quiet line after each frame, in character times
  bool hardwareFlowControl = false;  // RTS/CTS on the serial port
  bool compress = false;    // accept the V.42bis compression the Newton's LR offers, with its values
  // With compress: called once, at the first link whose Newton offered no compression (it runs uncompressed).
  std::function<void()> uncompressed = {};
  // The retransmission timer's floor; -1: what the Newton could answer in at the line's speed. The timer adds
  // the unacknowledged frames' own time on the line to what it learnt between the two bounds.
  int retransmitFloorMs = -1;
};
// Applies to the pipes of `link` (made by makeDilLink) from their next CDPipeInit on.
void tuneDilLink(LinkOps& link, const DilTuning& tuning);

// Where the library tells the user of a TCP caller it refused or let go, one line each ("refused the connection
// from 127.0.0.1:40312: ..."). Unset, it says nothing.
void setDilNotices(LinkOps& link, std::function<void(const std::string&)> notice);

// The address a pipe configured for a tcp: port listens on ("127.0.0.1:3679"); empty for a serial port.
std::string dilListenAddress(LinkOps& link, PipeHandle pipe);

// What has come in on the pipe's line since it last started listening: bytes and the MNP frames they made.
// All zero for a pipe without a line, or a link that is not this library's.
struct DilLineStats {
  std::uint64_t bytes = 0;
  std::uint64_t frames = 0;
  std::uint64_t badFrames = 0;
};
DilLineStats dilLineStats(LinkOps& link, PipeHandle pipe);

// Why the pipe's link was last lost (state 7), until it listens again; None when it was not lost or the link is
// not this library's. NoAcknowledgement: LTs went unacknowledged past the retry limit or the patience.
enum class DilLoss { None, NewtonHungUp, LineFailed, NoAcknowledgement, NewtonBusy, BadData };
DilLoss dilLinkLoss(LinkOps& link, PipeHandle pipe);

// The system's error where the pipe's port last failed to open (the reason behind -97: errno on POSIX,
// GetLastError on Windows); 0 when it opened, the system said nothing, or the link is not this library's.
int dilPortSystemError(LinkOps& link, PipeHandle pipe);

}  // namespace skiff
