// The Windows program keeps its serial ports COM1 to COM4: a "tcp:" port is refused as a tool it does not have.
#include "core/link_ops.h"
#include "dil/tcp_socket.h"

namespace skiff::dil {

std::unique_ptr<TcpListener> openTcpListener(const TcpAddress&, std::int32_t* error) {
  *error = code::kToolNotFound;
  return nullptr;
}

std::string tcpListenProblem(const TcpAddress&) { return "TCP ports are not available in this program"; }

std::unique_ptr<TcpConnection> connectTcp(const TcpAddress&, int) { return nullptr; }

}  // namespace skiff::dil
