// Where a pipe's line comes from: a serial port, which is there from the start and is the only line there
// will be, or a TCP listener, which hands over a line for each caller once its first bytes say what it is.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "dil/byte_line.h"
#include "dil/serial.h"

namespace skiff::dil {

enum class Framing { Mnp, RawDock };

struct Caller {
  Framing framing;
  mnp::ByteLine* line;  // owned by the source until hangUp
};

// Why a caller was let go after its line had been handed over.
enum class CallMissed { HungUp, NoLinkRequest };

// One line for the user about a caller the source refused or let go ("refused the connection from ...").
using Notice = std::function<void(const std::string&)>;

class LineSource {
 public:
  virtual ~LineSource() = default;
  // Whether a pipe configured again for `portName` may keep this source (a listener then stays open).
  virtual bool serves(const std::string& portName) const = 0;
  // Before listening: opens the port or the listener when it is closed and lets go of the last caller.
  virtual std::int32_t prepare() = 0;
  // pipeDisconnect: the serial port is closed, a TCP caller hung up on (the listener stays open).
  virtual void hangUp() = 0;
  // While listening: services the source and hands over the caller's line once there is one (the serial port
  // at once). Waits up to maxWaitMs when nothing happens.
  virtual std::optional<Caller> poll(int maxWaitMs) = 0;
  // While a caller is served: anyone else who calls is refused at once.
  virtual void refuseNewcomers() {}
  // A caller that did not call after all (it hung up, or sent no link request in time): let go, with a
  // notice; the source listens on.
  virtual void dropCaller(CallMissed why) = 0;
  // Whether the caller's line is the only line there is, so that its failure means nobody can call any more.
  virtual bool singleLine() const = 0;
  // The system's reason (errno, GetLastError) the serial port last failed to open; 0 when there is none.
  virtual int systemError() const { return 0; }
  // The address it listens on, for the user; empty for a serial port.
  virtual std::string listenAddress() const { return {}; }
};

// The source for a port name: a serial port at `baud` set up as `serial` says, or for "tcp:..." a listener whose
// callers must say what they are (and an MNP caller call) within openingWaitMs. Nothing for a "tcp:" name that
// does not parse.
std::unique_ptr<LineSource> makeLineSource(const std::string& portName, int baud, const SerialOptions& serial,
                                           int openingWaitMs, const Notice* notice);

}  // namespace skiff::dil
