// A port name "tcp:PORT" or "tcp:HOST:PORT": the pipe then listens on that TCP address instead of opening a
// serial port. Pure parsing; the sockets are in tcp_socket.h.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace skiff::dil {

struct TcpAddress {
  std::string host;  // a numeric address or a name; "127.0.0.1" when the text gives none
  int port = 0;      // 0 to 65535; 0 lets the system pick a free port
};

// Whether the port name asks for TCP (it starts with "tcp:").
bool isTcpPort(std::string_view portName);

// The address of "tcp:PORT", "tcp:HOST:PORT" or "tcp:[IPV6]:PORT". Nothing when the text is not of that form;
// *why then says what is wrong with it.
std::optional<TcpAddress> parseTcpPort(std::string_view portName, std::string* why = nullptr);

// "HOST:PORT", with brackets around an IPv6 address.
std::string addressText(const TcpAddress& address);

}  // namespace skiff::dil
