#include "dil/tcp_address.h"

namespace skiff::dil {

namespace {
constexpr std::string_view kPrefix = "tcp:";
constexpr std::size_t kMaxHost = 253;  // the longest host name DNS allows

std::optional<TcpAddress> refuse(std::string* why, const char* text) {
  if (why != nullptr) *why = text;
  return std::nullopt;
}
}  // namespace

bool isTcpPort(std::string_view portName) { return portName.substr(0, kPrefix.size()) == kPrefix; }

std::optional<TcpAddress> parseTcpPort(std::string_view portName, std::string* why) {
  if (!isTcpPort(portName)) return refuse(why, "not a tcp: port");
  std::string_view rest = portName.substr(kPrefix.size());
  TcpAddress address;
  address.host = "127.0.0.1";
  const std::size_t colon = rest.rfind(':');
  std::string_view portText = rest;
  if (colon != std::string_view::npos) {
    std::string_view host = rest.substr(0, colon);
    portText = rest.substr(colon + 1);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
      host = host.substr(1, host.size() - 2);
    } else if (host.find(':') != std::string_view::npos) {
      return refuse(why, "an IPv6 address goes in brackets: tcp:[::1]:3679");
    }
    if (host.empty()) return refuse(why, "the host before the port is empty");
    if (host.size() > kMaxHost) return refuse(why, "the host name is too long");
    for (char c : host)
      if (c <= ' ' || c == '/' || c == '[' || c == ']' || static_cast<unsigned char>(c) >= 0x7F)
        return refuse(why, "the host is not an address or a name");
    address.host = std::string(host);
  }
  if (portText.empty() || portText.size() > 5 || portText.find_first_not_of("0123456789") != std::string_view::npos)
    return refuse(why, "the port is a number from 0 to 65535: tcp:3679 or tcp:HOST:3679");
  int port = 0;
  for (char c : portText) port = port * 10 + (c - '0');
  if (port > 65535) return refuse(why, "the port is a number from 0 to 65535: tcp:3679 or tcp:HOST:3679");
  address.port = port;
  return address;
}

std::string addressText(const TcpAddress& address) {
  const bool v6 = address.host.find(':') != std::string::npos;
  return (v6 ? "[" + address.host + "]" : address.host) + ":" + std::to_string(address.port);
}

}  // namespace skiff::dil
