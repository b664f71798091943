// Docking over TCP with the real programs on loopback: skiff listening on a tcp: port, newton-sim connecting as
// the Newton emulator's serial driver does (MNP over TCP) or as a Newton docking over the network (raw dock
// frames), and the test itself as the callers that are neither.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "dil/tcp_socket.h"
#include "tests/e2e/link_fixture.h"
#include "tests/support/child_process.h"
#include "tests/support/sample_package.h"
#include "tests/support/sim_process.h"
#include "tests/support/temp_dir.h"

namespace skiff::e2e {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::size_t occurrences(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// Whether the other end closes `connection` within ms (what it sent before is read and dropped).
bool closedByPeer(dil::TcpConnection& connection, int ms) {
  const auto deadline = test::Clock::now() + std::chrono::milliseconds(ms);
  std::uint8_t sink[256];
  while (test::msLeft(deadline) > 0) {
    if (connection.readSome(sink) < 0) return true;
    connection.waitReadable(20'000);
  }
  return false;
}

struct Tcp : ::testing::Test {
  test::TempDir dir;
  std::unique_ptr<test::SimProcess> skiff, sim;
  int port = 0;

  std::string path(const std::string& name) const { return dir.path() + "/" + name; }

  // skiff with `words` in the test's folder, on a port the system picks (named by --port, or by SKIFF_PORT
  // when `portVariable` is set); returns once it says where it listens.
  void startSkiff(const std::vector<std::string>& words, const std::string& portVariable = "") {
    std::vector<std::string> args{"-C", dir.path()};
    if (!portVariable.empty()) args.push_back("SKIFF_PORT=" + portVariable);
    args.push_back(test::binPath("skiff"));
    args.insert(args.end(), words.begin(), words.end());
    skiff = std::make_unique<test::SimProcess>(args, "/usr/bin/env");
    ASSERT_TRUE(skiff->start(10000, false));
    const std::string listening = "Listening on 127.0.0.1:";
    ASSERT_TRUE(skiff->waitForError(" (TCP)\n", 10000)) << skiff->errors();
    const std::size_t at = skiff->errors().find(listening);
    ASSERT_NE(at, std::string::npos) << skiff->errors();
    EXPECT_LT(skiff->errors().find("Looking for Newton...\n"), at) << skiff->errors();
    port = std::atoi(skiff->errors().c_str() + at + listening.size());
    ASSERT_GT(port, 0) << skiff->errors();
  }
  void startInstall(const Bytes& package) {
    std::ofstream(path("TEST.PKG"), std::ios::binary)
        .write(reinterpret_cast<const char*>(package.data()), static_cast<std::streamsize>(package.size()));
    startSkiff({"install", "--port", "tcp:127.0.0.1:0", "TEST.PKG"});
  }
  void startSim(const std::vector<std::string>& args) {
    std::vector<std::string> all{"--log", path("sim.log"), "--retransmit-ms", "300", "--tcp-connect",
                                 "127.0.0.1:" + std::to_string(port)};
    all.insert(all.end(), args.begin(), args.end());
    sim = std::make_unique<test::SimProcess>(all);
    ASSERT_TRUE(sim->start()) << sim->errors();
  }
  int skiffExit() {
    const auto code = skiff->wait(90000);
    EXPECT_TRUE(code) << "skiff did not end";
    return code.value_or(-1);
  }
  std::unique_ptr<dil::TcpConnection> call(const std::string& host = "127.0.0.1") {
    return dil::connectTcp({host, port}, 2000);
  }
  static std::string text(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }
};

struct InstallCase {
  const char* name;
  std::vector<std::string> line;  // newton-sim's options besides the connection
  std::vector<std::string> dock;  // the dock role's
  std::size_t size;
  int exitCode;
  const char* says;  // on stdout or stderr
  std::size_t waits;  // times "Looking for Newton..." shows
};

class TcpInstall : public Tcp, public ::testing::WithParamInterface<InstallCase> {};

TEST_P(TcpInstall, EndsAsOnASerialLine) {
  const InstallCase& c = GetParam();
  const Bytes package = test::validPackage(c.size);
  startInstall(package);
  std::vector<std::string> args = c.line;
  for (const char* word : {"dock", "--out"}) args.emplace_back(word);
  args.push_back(path("out"));
  args.insert(args.end(), c.dock.begin(), c.dock.end());
  startSim(args);
  EXPECT_EQ(skiffExit(), c.exitCode) << skiff->output() << skiff->errors();
  const std::string said = skiff->output() + skiff->errors();
  EXPECT_NE(said.find(c.says), std::string::npos) << said;
  EXPECT_EQ(occurrences(skiff->errors(), "Looking for Newton..."), c.waits) << skiff->errors();
  EXPECT_TRUE(sim->wait(20000)) << sim->errors();
  if (c.exitCode == 0) {
    EXPECT_EQ(readFile(path("out/package.pkg")), text(package));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TcpInstall,
    ::testing::Values(
        // A Newton that says its link request once: the bytes that told the listener it is MNP reach the link.
        InstallCase{"MnpOverTcp", {"--call-tries", "1"}, {}, 30000, 0, "Transfer successfully completed.", 1},
        InstallCase{"RawDockFrames", {"--raw-dock"}, {}, 30000, 0, "Transfer successfully completed.", 1},
        // The first exchange lost: the listener takes the Newton's next call.
        InstallCase{"RawDockWrongOpeningThenAGoodCall", {"--raw-dock"}, {"--wrong-opening"}, 3000, 0,
                    "Transfer successfully completed.", 2},
        // Later: the connection closed by the Newton is the link's error.
        InstallCase{"RawDockClosedInTheStream", {"--raw-dock"}, {"--drop-link-after", "5000"}, 40000, 1,
                    "Error -- ", 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Tcp, ANoteReachesTheCompanionOverMnpOnThePortSkiffPortNames) {
  std::ofstream(path("note.txt"), std::ios::binary) << "Buy fenders\nCheck the lines\n";
  startSkiff({"send", "note.txt"}, "tcp:127.0.0.1:0");
  startSim({"companion", "--out", path("newton")});
  EXPECT_EQ(skiffExit(), 0) << skiff->errors();
  EXPECT_EQ(skiff->output().rfind("Sent 1 file, 28 bytes, in ", 0), 0u) << skiff->output();
  EXPECT_EQ(sim->wait(20000), 0) << sim->errors();
  EXPECT_EQ(readFile(path("newton/note.txt")), "Buy fenders\rCheck the lines\r");
}

TEST_F(Tcp, AStrayCallerIsRefusedAndTheNewtonAfterItInstalls) {
  const Bytes package = test::validPackage(3000);
  startInstall(package);
  auto stray = call();
  ASSERT_TRUE(stray);
  const std::string request = "GET / HTTP/1.0\r\n\r\n";
  stray->writeAll({reinterpret_cast<const std::uint8_t*>(request.data()), request.size()});
  EXPECT_TRUE(closedByPeer(*stray, 5000));
  stray.reset();
  startSim({"dock", "--out", path("out")});
  EXPECT_EQ(skiffExit(), 0) << skiff->errors();
  EXPECT_NE(skiff->errors().find("skiff: refused the connection from 127.0.0.1:"), std::string::npos);
  EXPECT_NE(skiff->errors().find(": it began with 47 45 54 20 2f 20 48 54, neither MNP (16 10 02) nor a dock "
                                 "frame (newtdock)\n"),
            std::string::npos)
      << skiff->errors();
  EXPECT_EQ(sim->wait(20000), 0) << sim->errors();
  EXPECT_EQ(readFile(path("out/package.pkg")), text(package));
}

TEST_F(Tcp, OneNewtonAtATimeOnlyWhereAskedAndNoListenerAfterTheEnd) {
  startInstall(test::validPackage(3000));
  startSim({"--raw-dock", "dock", "--out", path("out")});
  ASSERT_TRUE(skiff->waitForError("Sending Package...", 30000)) << skiff->errors();
  auto second = call();
  ASSERT_TRUE(second);
  EXPECT_TRUE(closedByPeer(*second, 2000)) << "a second caller is refused at once";
  EXPECT_TRUE(skiff->waitForError(": a Newton is already connected\n", 5000)) << skiff->errors();
  EXPECT_FALSE(call("127.0.0.2")) << "listening on 127.0.0.1 only";
  EXPECT_EQ(skiffExit(), 0) << skiff->errors();
  EXPECT_EQ(sim->wait(20000), 0) << sim->errors();
  EXPECT_FALSE(call()) << "the listener is closed when the command ends";
}

TEST_F(Tcp, AnAddressInUseIsRefusedWithTheSystemsReason) {
  std::int32_t error = 0;
  const auto holder = dil::openTcpListener({"127.0.0.1", 0}, &error);
  ASSERT_TRUE(holder);
  const std::string port = "tcp:" + holder->address();
  const auto result = test::runCommand({test::binPath("skiff"), "listen", "--port", port}, 10000);
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(result.err.find("skiff listen: " + port + ": cannot listen there: Address already in use\n"),
            std::string::npos)
      << result.err;
  EXPECT_EQ(result.err.find("Looking for Newton..."), std::string::npos) << result.err;
}

}  // namespace
}  // namespace skiff::e2e
