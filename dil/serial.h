// The serial port: a small interface with one backend per OS (serial_posix.cpp, serial_win32.cpp).
// Raw 8N1, modem lines ignored; no flow control unless asked for.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "dil/byte_line.h"

namespace skiff::dil {

class SerialPort : public mnp::ByteLine {
 public:
  // Closes the port.
  ~SerialPort() override = default;
};

// The baud of a configuration text "<port>:<baud>,n,8,1": the number after the last ':'. Nothing when the text
// has no such number (empty, no colon, no digits, absurd value).
std::optional<int> baudFromConfig(std::string_view config);

// What the OS calls the port: "COM3" is \\.\COM3 on Windows and /dev/ttyS2 on POSIX; any other name (a device
// path) is taken as it is.
std::string systemPortName(std::string_view portName);

// Whether this platform's serial ports can run at `baud` bit/s.
bool baudSupported(int baud);

struct SerialOptions {
  // RTS/CTS hardware handshake, for cables and adapters that carry the Newton's handshake lines.
  bool hardwareFlowControl = false;
};

// Why a port did not open: -97 (missing, in use, no serial port) or -28706 (a speed or handshake this platform
// does not have), with the system's own error where the open failed (errno on POSIX, GetLastError on Windows;
// 0 when the system said nothing), so that nobody has to guess it afterwards.
struct PortFailure {
  std::int32_t code = 0;
  int systemError = 0;
};

// Opens and sets up the port. Nothing when it fails, with *failure saying why.
std::unique_ptr<SerialPort> openSerialPort(std::string_view portName, int baud, PortFailure* failure,
                                           const SerialOptions& options = {});

// With no port to wait for: waits ms milliseconds (on Windows returning early for a window message).
void idleWait(int ms);

}  // namespace skiff::dil
