// newton-sim: a simulated Newton on a pseudo-terminal (or a serial device, or a TCP connection to the desktop).
// It prints the device path the desktop should open (or the address it connected to) as its first line, calls
// the desktop over MNP (or, docking over the network, sends raw dock frames) and plays one role.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "dil/tcp_socket.h"
#include "newton/newton_link.h"
#include "newton/paced_line.h"
#include "newton/raw_dock_stream.h"
#include "newton/roles.h"
#include "newton/test_data.h"

using namespace skiff::newton;

namespace {

void usage(std::FILE* out) {
  std::fprintf(out,
               "usage: newton-sim [OPTIONS] ROLE [ROLE ARGS...]\n"
               "A simulated Newton: opens a pseudo-terminal (or --device), prints the device path the desktop\n"
               "should open as the first line of its output, calls the desktop over MNP as a Newton does and\n"
               "plays ROLE. The exit code is the role's result (0 = success).\n\n"
               "line options:\n"
               "  --device PATH      use this serial device instead of a new pseudo-terminal\n"
               "  --tcp-connect HOST:PORT  connect to a desktop listening on TCP and carry the serial line's\n"
               "                     bytes over it, MNP and all, as the Newton emulator's TCP serial driver\n"
               "                     does (a new connection for each call; unpaced)\n"
               "  --raw-dock         with --tcp-connect and the dock role: send the dock frames raw, without\n"
               "                     MNP, as a Newton docking over the network does\n"
               "  --baud N           pace the line at N bit/s both ways (10 bits a byte); default: unpaced\n"
               "  --window K         window offered in the link request (default 8, as a Newton)\n"
               "  --retransmit-ms MS retransmission timer (default 2000)\n"
               "  --retries N        retransmissions before giving up (default 11)\n"
               "  --call-timeout MS  stop calling after this long without an answer (default 60000)\n"
               "  --call-interval MS the LR goes again after this long without an answer (default 400)\n"
               "  --adapter-latency MS  the desktop's USB-serial adapter hands on what it received every MS\n"
               "                     milliseconds, or when a 62-byte USB packet is full (an FTDI latency timer)\n"
               "  --log FILE         machine-readable log: one line per frame and event (t=MS tx|rx TYPE ...)\n"
               "fault injection (data phase):\n"
               "  --corrupt F        corrupt this fraction of LT and LA frames, each way (e.g. 0.05)\n"
               "  --drop F           lose this fraction of LT and LA frames, each way\n"
               "  --drop-after N     the line goes dead after N payload bytes\n"
               "  --ack-delay MS     hold every acknowledgement MS milliseconds\n"
               "  --lose-ack N       never send the N-th acknowledgement\n"
               "  --deaf-lr N        do not hear the desktop's first N link requests\n"
               "  --wrong-speed 1    the Newton is set to another speed than the desktop: every byte it sends\n"
               "                     arrives as another byte\n"
               "  --seed N           seed of the fault choices (default 1)\n"
               "a real Newton's habits:\n"
               "  --busy-after N     the receiver fills once N payload bytes arrived: LAs give credit 0 and new\n"
               "                     LTs are dropped ...\n"
               "  --busy-ms MS       ... for MS milliseconds; then an LA with the same N(R) opens the window\n"
               "  --stall-after N    once N payload bytes arrived, the Newton stops answering (busy with its\n"
               "                     store): no LA, no LT, and what arrives meanwhile is lost ...\n"
               "  --stall-ms MS      ... for MS milliseconds; then it answers again as before\n"
               "  --call-delay MS    start calling MS milliseconds after start (the user taps Connect later)\n"
               "  --call-tries N     send the LR N times, then give up; a desktop answering later gets an LD\n"
               "  --compression none the LR offers no compression (default v42bis: a Newton's offer of 1,024\n"
               "                     codewords and strings up to 250, used when the desktop's reply accepts it)\n\n"
               "  --help, --version  this text; the version\n\n"
               "roles:\n"
               "  echo                     send back every byte received, until the desktop disconnects\n"
               "  sink [--expect N]        take bytes until N arrived (or the desktop disconnects); prints\n"
               "                           'received COUNT fnv1a=HEX'; fails when COUNT is not N\n"
               "  source --bytes N [--seed S]  send N pattern bytes, then wait for the desktop to disconnect\n"
               "  connect [--hold MS]      connect, wait MS (default 300), disconnect with an LD\n"
               "%s%s",
               companionRoleUsage().c_str(), dockRoleUsage().c_str());
}

long long number(const char* text) { return std::strtoll(text, nullptr, 10); }

std::string hex(std::uint64_t value) {
  char text[20];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
  return text;
}

std::string optionValue(const RoleArgs& args, const std::string& name, const std::string& fallback) {
  for (std::size_t i = 0; i + 1 < args.size(); ++i)
    if (args[i] == name) return args[i + 1];
  return fallback;
}

int runEcho(NewtonLink& link) {
  std::vector<std::uint8_t> buffer(4096);
  long long total = 0;
  for (;;) {
    long n = link.readSome(buffer, 1000);
    if (n < 0) break;
    if (n == 0) continue;
    total += n;
    if (!link.write(std::span(buffer.data(), static_cast<std::size_t>(n)))) break;
  }
  std::printf("echoed %lld\n", total);
  return link.peerDisconnected() ? 0 : 1;
}

int runSink(NewtonLink& link, const RoleArgs& args) {
  long long expect = number(optionValue(args, "--expect", "-1").c_str());
  std::vector<std::uint8_t> buffer(4096);
  long long total = 0;
  std::uint64_t hash = fnv1a({});
  while (expect < 0 || total < expect) {
    long n = link.readSome(buffer, 1000);
    if (n < 0) break;
    total += n;
    hash = fnv1a(std::span(buffer.data(), static_cast<std::size_t>(n)), hash);
  }
  std::printf("received %lld fnv1a=%s\n", total, hex(hash).c_str());
  std::fflush(stdout);
  link.linger(10000);  // keep acknowledging until the desktop disconnects
  return expect < 0 || total == expect ? 0 : 1;
}

int runSource(NewtonLink& link, const RoleArgs& args) {
  long long count = number(optionValue(args, "--bytes", "0").c_str());
  auto seed = static_cast<std::uint32_t>(number(optionValue(args, "--seed", "1").c_str()));
  if (count < 0) return 2;
  auto data = patternBytes(static_cast<std::size_t>(count), seed);
  for (std::size_t at = 0; at < data.size(); at += 1024) {
    std::size_t n = std::min<std::size_t>(1024, data.size() - at);
    if (!link.write(std::span(data.data() + at, n))) return 1;
  }
  std::printf("sent %lld fnv1a=%s\n", count, hex(fnv1a(data)).c_str());
  std::fflush(stdout);
  link.linger(30000);
  return 0;
}

int runConnect(NewtonLink& link, const RoleArgs& args) {
  link.linger(static_cast<int>(number(optionValue(args, "--hold", "300").c_str())));
  if (!link.connected()) return 1;
  link.disconnect();
  return 0;
}

// One call over MNP on `line`: the role's result, or 3 when the desktop did not answer.
int callAndPlay(skiff::mnp::ByteLine& line, const NewtonOptions& options, std::FILE* log, const std::string& role,
                const RoleArgs& roleArgs) {
  NewtonLink link(line, options, log);
  int result = 3;
  if (!link.call()) {
    std::fprintf(stderr, "newton-sim: the desktop did not answer\n");
  } else if (role == "echo") {
    result = runEcho(link);
  } else if (role == "sink") {
    result = runSink(link, roleArgs);
  } else if (role == "source") {
    result = runSource(link, roleArgs);
  } else if (role == "connect") {
    result = runConnect(link, roleArgs);
  } else if (role == "companion") {
    result = runCompanionRole(link, roleArgs);
  } else if (role == "backup") {
    result = runBackupRole(link, roleArgs);
  } else {
    result = runDockRole(link, roleArgs);
  }
  if (link.connected()) link.disconnect();
  std::fflush(stdout);
  return result;
}

constexpr int kMaxCalls = 8;  // a role may ask for another call (its fault on the first one made the desktop start over)

// Each call is a connection of its own, as the emulator's driver opens one whenever the Newton opens its port.
int playOverTcp(const skiff::dil::TcpAddress& address, bool rawDock, const NewtonOptions& options, std::FILE* log,
                const std::string& role, const RoleArgs& roleArgs) {
  int result = 3;
  for (int calls = 0; calls < kMaxCalls; ++calls) {
    auto connection = skiff::dil::connectTcp(address, 5000);
    if (!connection) {
      std::fprintf(stderr, "newton-sim: cannot connect to %s\n", skiff::dil::addressText(address).c_str());
      return 3;
    }
    if (rawDock) {
      RawDockStream stream(*connection, log);
      result = role == "backup" ? runBackupRole(stream, roleArgs) : runDockRole(stream, roleArgs);
      std::fflush(stdout);
    } else {
      result = callAndPlay(*connection, options, log, role, roleArgs);
    }
    connection->closeGently();
    if (result != kRoleCallAgain) break;
  }
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  NewtonOptions options;
  std::string device, logPath, tcpConnect;
  int adapterLatencyMs = 0;
  bool rawDock = false;
  int i = 1;
  for (; i < argc && argv[i][0] == '-'; ++i) {
    std::string option = argv[i];
    if (option == "--help" || option == "-h") {
      usage(stdout);
      return 0;
    }
    if (option == "--version") {
      std::printf("newton-sim %s\n", SKIFF_VERSION);
      return 0;
    }
    if (option == "--raw-dock") {
      rawDock = true;
      continue;
    }
    if (i + 1 >= argc) {
      std::fprintf(stderr, "newton-sim: %s needs a value\n", option.c_str());
      return 2;
    }
    const char* value = argv[++i];
    if (option == "--device") device = value;
    else if (option == "--tcp-connect") tcpConnect = value;
    else if (option == "--baud") options.baud = static_cast<int>(number(value));
    else if (option == "--window") options.window = std::clamp(static_cast<int>(number(value)), 1, 8);
    else if (option == "--retransmit-ms") options.retransmitMs = std::max(1, static_cast<int>(number(value)));
    else if (option == "--retries") options.retryLimit = std::max(1, static_cast<int>(number(value)));
    else if (option == "--call-timeout") options.callTimeoutMs = static_cast<int>(number(value));
    else if (option == "--call-interval") options.callIntervalMs = std::max(1, static_cast<int>(number(value)));
    else if (option == "--adapter-latency") adapterLatencyMs = std::max(0, static_cast<int>(number(value)));
    else if (option == "--busy-after") options.habits.busyAfter = number(value);
    else if (option == "--busy-ms") options.habits.busyMs = std::max(0, static_cast<int>(number(value)));
    else if (option == "--stall-after") options.habits.stallAfter = number(value);
    else if (option == "--stall-ms") options.habits.stallMs = std::max(0, static_cast<int>(number(value)));
    else if (option == "--call-delay") options.habits.callDelayMs = std::max(0, static_cast<int>(number(value)));
    else if (option == "--call-tries") options.habits.callTries = std::max(0, static_cast<int>(number(value)));
    else if (option == "--compression" && (std::strcmp(value, "none") == 0 || std::strcmp(value, "v42bis") == 0))
      options.habits.offersCompression = std::strcmp(value, "v42bis") == 0;
    else if (option == "--log") logPath = value;
    else if (option == "--corrupt") options.faults.corrupt = std::atof(value);
    else if (option == "--drop") options.faults.drop = std::atof(value);
    else if (option == "--drop-after") options.faults.dropAfter = number(value);
    else if (option == "--ack-delay") options.faults.ackDelayMs = static_cast<int>(number(value));
    else if (option == "--lose-ack") options.faults.loseAck = static_cast<long>(number(value));
    else if (option == "--deaf-lr") options.faults.deafToLinkRequests = static_cast<int>(number(value));
    else if (option == "--wrong-speed") options.faults.wrongSpeed = number(value) != 0;
    else if (option == "--seed") options.faults.seed = static_cast<unsigned>(number(value));
    else {
      std::fprintf(stderr, "newton-sim: unknown option %s (see --help)\n", option.c_str());
      return 2;
    }
  }
  if (i >= argc) {
    usage(stderr);
    return 2;
  }
  std::string role = argv[i++];
  RoleArgs roleArgs(argv + i, argv + argc);
  if (role != "echo" && role != "sink" && role != "source" && role != "connect" && role != "companion" &&
      role != "dock" && role != "backup") {
    std::fprintf(stderr, "newton-sim: unknown role %s (see --help)\n", role.c_str());
    return 2;
  }

  if (rawDock && (tcpConnect.empty() || (role != "dock" && role != "backup"))) {
    std::fprintf(stderr, "newton-sim: --raw-dock needs --tcp-connect and the dock or backup role\n");
    return 2;
  }
  if (!tcpConnect.empty()) {
    const auto address = skiff::dil::parseTcpPort("tcp:" + tcpConnect);
    if (!address) {
      std::fprintf(stderr, "newton-sim: --tcp-connect needs HOST:PORT, not %s\n", tcpConnect.c_str());
      return 2;
    }
    std::printf("tcp:%s\n", skiff::dil::addressText(*address).c_str());
    std::fflush(stdout);
    std::FILE* log = logPath.empty() ? nullptr : std::fopen(logPath.c_str(), "w");
    const int result = playOverTcp(*address, rawDock, options, log, role, roleArgs);
    if (log) std::fclose(log);
    return result;
  }

  std::string path = device;
  int fd = device.empty() ? openPseudoTerminal(&path) : openDevice(device, options.baud > 0 ? options.baud : 38400);
  if (fd < 0) {
    std::fprintf(stderr, "newton-sim: cannot open %s\n", device.empty() ? "a pseudo-terminal" : device.c_str());
    return 3;
  }
  std::printf("%s\n", path.c_str());
  std::fflush(stdout);

  std::FILE* log = logPath.empty() ? nullptr : std::fopen(logPath.c_str(), "w");
  int result = 3;
  {
    PacedLine line(fd, device.empty() ? options.baud : 0);
    line.setAdapterLatency(device.empty() ? adapterLatencyMs : 0);
    for (int calls = 0; calls < kMaxCalls; ++calls) {
      result = callAndPlay(line, options, log, role, roleArgs);
      if (result != kRoleCallAgain) break;
    }
    usleep(300 * 1000);  // let the last frame reach the desktop before the line closes
  }
  if (log) std::fclose(log);
  close(fd);
  return result;
}
