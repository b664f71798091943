// skiff send to newton-sim's companion application over pseudo-terminals: the real link library, real MNP, real
// time. Every stored file is compared byte for byte with what the protocol says the Newton must receive.
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/support/pty_process.h"
#include "tests/support/sim_process.h"

namespace skiff {
namespace {

namespace fs = std::filesystem;
using test::binPath;
using test::SimProcess;

constexpr int kSendTimeoutMs = 120000;

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void writeFile(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string pattern(std::size_t n, unsigned seed) {
  std::string s(n, '\0');
  unsigned x = seed;
  for (auto& c : s) {
    x = x * 1103515245u + 12345u;
    c = static_cast<char>(x >> 16);
  }
  return s;
}

// What the companion stores for a text note: its header, then the text as text mode reads it (CR LF as one
// line end, a Ctrl-Z ends it where only Ctrl-Z bytes and line ends follow) with every line end sent as CR.
std::string storedText(const std::string& header, const std::string& file) {
  std::string out = header;
  for (std::size_t i = 0; i < file.size(); ++i) {
    if (file[i] == 0x1A && file.find_first_not_of("\x1A\r\n", i) == std::string::npos) break;
    if (file[i] == '\r' && i + 1 < file.size() && file[i + 1] == '\n') continue;
    out += file[i] == '\n' ? '\r' : file[i];
  }
  return out;
}

struct TempDir {
  fs::path path;
  TempDir() {
    std::string pattern = (fs::temp_directory_path() / "skiff-e2e-XXXXXX").string();
    path = mkdtemp(pattern.data());
  }
  ~TempDir() {
    std::error_code ignored;
    fs::remove_all(path, ignored);
  }
};

// skiff send, run in `dir` (where its skiff.cfg lives) with a deadline.
test::CommandResult send(const fs::path& dir, const std::string& device, const std::vector<std::string>& files) {
  std::string command = "cd '" + dir.string() + "' && exec '" + binPath("skiff") + "' send --port '" + device + "'";
  for (const auto& f : files) command += " '" + f + "'";
  return test::runCommand({"/bin/sh", "-c", command}, kSendTimeoutMs);
}

TEST(SendE2E, ABatchOfEveryKindArrivesByteExact) {
  TempDir dir;
  const fs::path out = dir.path / "newton";
  const std::string note = "Check the lines\r\nBuy fenders\r\nlone\rCR\r\n";
  const std::string picture = pattern(512, 1) + pattern(777, 2);
  const std::string bitmap = pattern(1000, 3);  // a multiple of 500
  const std::string package = readFile(fs::path(SKIFF_SOURCE_DIR) / "samples/skiff-test.pkg");
  ASSERT_EQ(package.size(), 124u);
  writeFile(dir.path / "lists/shopping.txt", note);
  writeFile(dir.path / "harbour.pic", picture);
  writeFile(dir.path / "wave.bmp", bitmap);
  writeFile(dir.path / "skiff-test.pkg", package);

  SimProcess sim({"companion", "--out", out.string()});
  ASSERT_TRUE(sim.start());
  const auto result = send(dir.path, sim.device(),
                           {"lists/shopping.txt", "harbour.pic", "wave.bmp", "skiff-test.pkg"});
  EXPECT_FALSE(result.timedOut);
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_NE(result.err.find("Looking for Newton..."), std::string::npos);
  EXPECT_NE(result.err.find("Sending Data..."), std::string::npos);
  EXPECT_NE(result.err.find("Transferring byte 1000 of 1000 (100%)"), std::string::npos) << result.err;
  // Each file is named as it starts; the run ends with its summary, the only line on stdout.
  std::size_t at = 0;
  for (const char* start : {"shopping.txt (1 of 4)\n", "harbour.pic (2 of 4)\n", "wave.bmp (3 of 4)\n",
                            "skiff-test.pkg (4 of 4)\n"}) {
    at = result.err.find(start, at);
    EXPECT_NE(at, std::string::npos) << start << result.err;
  }
  const std::size_t bytes = storedText("", note).size() + 777 + 1000 + 124;
  EXPECT_EQ(result.out.rfind("Sent 4 files, " + std::to_string(bytes) + " bytes, in ", 0), 0u) << result.out;
  EXPECT_EQ(std::count(result.out.begin(), result.out.end(), '\n'), 1) << result.out;
  EXPECT_EQ(sim.wait(30000), 0) << sim.errors();

  EXPECT_EQ(readFile(out / "shopping.txt"), storedText("*CHECKLIST*\n", note));
  EXPECT_EQ(readFile(out / "harbour.pic"), picture.substr(512));
  EXPECT_EQ(readFile(out / "wave.bmp"), bitmap);
  EXPECT_EQ(readFile(out / "skiff-test.pkg"), package);

  const std::string log = readFile(out / "companion.log");
  EXPECT_NE(log.find("name=\"shopping.txt\" type=SPIT typevalue=57494E444F5753 creator=57494E444F5753 length=" +
                     std::to_string(note.size()) + " header=\"*CHECKLIST*\\n\""),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("name=\"harbour.pic\" type=SPIB"), std::string::npos);
  EXPECT_NE(log.find("length=777 header=\"\" bytes=777"), std::string::npos);
  EXPECT_NE(log.find("name=\"wave.bmp\" type=SBMP"), std::string::npos);
  EXPECT_NE(log.find("chunks=500,500 "), std::string::npos);
  EXPECT_NE(log.find("name=\"skiff-test.pkg\" type=SBPK"), std::string::npos);
  EXPECT_NE(log.find("done files=4"), std::string::npos);
}

TEST(SendE2E, ANoReplyDropsThatChunkAndTheFileIsReportedIncomplete) {
  TempDir dir;
  const fs::path out = dir.path / "newton";
  const std::string bitmap = pattern(1234, 4);
  writeFile(dir.path / "sea.bmp", bitmap);
  SimProcess sim({"companion", "--out", out.string(), "--reply-no", "2"});
  ASSERT_TRUE(sim.start());
  // On a terminal this time: the status line is redrawn in place, with its spinner and progress bar.
  const std::string command = "cd '" + dir.path.string() + "' && exec '" + binPath("skiff") + "' send --port '" +
                              sim.device() + "' sea.bmp";
  const auto result = test::runCommand({"/usr/bin/script", "-qefc", command, "/dev/null"}, kSendTimeoutMs);
  EXPECT_EQ(result.exitCode, 1) << result.out;
  EXPECT_NE(result.out.find("\r\x1b[KSending Data...  "), std::string::npos) << result.out;
  EXPECT_NE(result.out.find("Transferring byte 1234 of 1234 (100%) [##############################]"),
            std::string::npos)
      << result.out;
  // The status line ends before the report, the report before the summary; the last line has its end too.
  EXPECT_NE(result.out.find("\r\nIncomplete file: the Newton refused 1 of 3 parts of sea.bmp.\r\n"
                            "Sent 1 file, 1234 bytes, in "),
            std::string::npos)
      << result.out;
  EXPECT_NE(result.out.find(" s; 1 incomplete (the Newton refused parts of it).\r\n"), std::string::npos);
  EXPECT_EQ(result.out.substr(result.out.size() - 2), "\r\n");
  EXPECT_EQ(sim.wait(30000), 0) << sim.errors();
  EXPECT_EQ(readFile(out / "sea.bmp"), bitmap.substr(0, 500) + bitmap.substr(1000)) << "chunk 2 was refused";
  EXPECT_NE(readFile(out / "companion.log").find("chunks=500,500,234 replies=" + [] {
    std::string r;
    for (int i = 0; i < 11; ++i) r += "OK,";
    return r + "OK,NO,OK";
  }()),
            std::string::npos);
}

TEST(SendE2E, AWrongReplyIsReportedAndTheExitCodeSaysSo) {
  TempDir dir;
  const fs::path out = dir.path / "newton";
  writeFile(dir.path / "sea.bmp", pattern(1200, 5));
  SimProcess sim({"companion", "--out", out.string(), "--reply-wrong", "12"});  // the first chunk's reply
  ASSERT_TRUE(sim.start());
  const auto result = send(dir.path, sim.device(), {"sea.bmp"});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(result.err.find("Error.  Read returned unknown error 0\n"), std::string::npos) << result.err;
  sim.wait(30000);
}

// Two pseudo-terminals joined back to back, so that one simulated Newton after another can call the same
// desktop port: the desktop opens `desktopEnd`, each simulator opens `newtonEnd` with --device.
class PtyBridge {
 public:
  PtyBridge() {
    for (auto* side : {&a_, &b_}) {
      side->master = posix_openpt(O_RDWR | O_NOCTTY);
      grantpt(side->master);
      unlockpt(side->master);
      side->path = ptsname(side->master);
      // Held open, never read: the line never hangs up between openers, and it starts raw.
      side->held = open(side->path.c_str(), O_RDWR | O_NOCTTY);
      termios raw{};
      tcgetattr(side->held, &raw);
      cfmakeraw(&raw);
      tcsetattr(side->held, TCSANOW, &raw);
    }
    relay_ = std::thread([this] { run(); });
  }
  ~PtyBridge() {
    stop_ = true;
    relay_.join();
    for (auto* side : {&a_, &b_}) {
      close(side->held);
      close(side->master);
    }
  }
  const std::string& desktopEnd() const { return a_.path; }
  const std::string& newtonEnd() const { return b_.path; }

 private:
  struct Side {
    int master = -1;
    int held = -1;
    std::string path;
  };
  void run() {
    char buffer[4096];
    while (!stop_) {
      pollfd fds[2] = {{a_.master, POLLIN, 0}, {b_.master, POLLIN, 0}};
      if (poll(fds, 2, 50) <= 0) continue;
      for (int i = 0; i < 2; ++i) {
        if (!(fds[i].revents & POLLIN)) continue;
        const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
        if (n > 0) {
          const int to = i == 0 ? b_.master : a_.master;
          for (ssize_t done = 0; done < n;) {
            const ssize_t w = write(to, buffer + done, static_cast<std::size_t>(n - done));
            if (w <= 0) break;
            done += w;
          }
        }
      }
    }
  }
  Side a_, b_;
  std::atomic<bool> stop_{false};
  std::thread relay_;
};

TEST(SendE2E, ALinkDroppedBeforeTheDataReconnectsAndSucceeds) {
  TempDir dir;
  const fs::path out = dir.path / "newton";
  const std::string bitmap = pattern(900, 6);
  writeFile(dir.path / "tide.bmp", bitmap);
  PtyBridge bridge;

  // The first Newton drops the link right after the first "PARM"; the desktop reconnects, a second one calls.
  SimProcess first({"--device", bridge.newtonEnd(), "companion", "--out", out.string(), "--drop-after", "5"});
  ASSERT_TRUE(first.start());
  std::thread desktop([&] {
    const auto result = send(dir.path, bridge.desktopEnd(), {"tide.bmp"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_GE(std::count(result.err.begin(), result.err.end(), '\n'), 2) << "Looking for Newton... twice";
  });
  EXPECT_EQ(first.wait(60000), 4) << first.errors();
  SimProcess second({"--device", bridge.newtonEnd(), "companion", "--out", out.string()});
  ASSERT_TRUE(second.start());
  EXPECT_EQ(second.wait(90000), 0) << second.errors();
  desktop.join();
  EXPECT_EQ(readFile(out / "tide.bmp"), bitmap);
  const std::string log = readFile(out / "companion.log");
  EXPECT_NE(log.find("dropped after=5"), std::string::npos) << log;
  EXPECT_NE(log.find("done files=1"), std::string::npos) << log;
}


// --- what the command line checks and how it stops --------------------------------------------------------

// skiff send on a terminal of its own (status line in place, Ctrl-C typed at it), run in `dir`.
std::unique_ptr<test::PtyProcess> sendOnTerminal(const fs::path& dir, const std::string& device,
                                                 const std::vector<std::string>& files) {
  std::vector<std::string> argv{binPath("skiff"), "send", "--port", device};
  argv.insert(argv.end(), files.begin(), files.end());
  auto process = std::make_unique<test::PtyProcess>(argv, dir.string());
  EXPECT_TRUE(process->start());
  return process;
}

TEST(SendE2E, ADirectoryInABatchIsReportedAndTheOtherFilesArrive) {
  TempDir dir;
  const fs::path out = dir.path / "newton";
  const std::string note = "Buy rope\r\n";
  const std::string bitmap = pattern(700, 7);
  writeFile(dir.path / "a.txt", note);
  writeFile(dir.path / "b.bmp", bitmap);
  fs::create_directories(dir.path / "adir");
  const std::string log = (dir.path / "sim.log").string();
  SimProcess sim({"--log", log, "companion", "--out", out.string()});
  ASSERT_TRUE(sim.start());
  const auto result = send(dir.path, sim.device(), {"a.txt", "adir", "--window", "4", "--compress", "b.bmp"});
  EXPECT_EQ(result.exitCode, 1) << result.err;
  // Reported by name before the link opened; the numbering counts the files that go.
  EXPECT_EQ(result.err.rfind("skiff send: adir: Is a directory\nLooking for Newton...\n", 0), 0u) << result.err;
  EXPECT_NE(result.err.find("b.bmp (2 of 2)"), std::string::npos) << result.err;
  EXPECT_EQ(result.out.rfind("Sent 2 of 3 files, 709 bytes, in ", 0), 0u) << result.out;
  EXPECT_EQ(sim.wait(30000), 0) << sim.errors();
  EXPECT_EQ(readFile(out / "a.txt"), storedText("", note));
  EXPECT_EQ(readFile(out / "b.bmp"), bitmap);
  EXPECT_NE(readFile(out / "companion.log").find("done files=2"), std::string::npos);
  // --window 4 reached the link: the Newton (offering 8) confirms the smaller offer with its first LA; and
  // --compress: both ways went V.42bis.
  EXPECT_NE(readFile(log).find("tx LA nr=0 credit=4"), std::string::npos) << readFile(log);
  EXPECT_NE(readFile(log).find("event data-phase window=4 info=256 v42bis=1024/250"), std::string::npos);
}

TEST(SendE2E, AFifoAndAPictureWithoutItsHeaderAreReportedAtOnceAndNothingIsOpened) {
  TempDir dir;
  ASSERT_EQ(mkfifo((dir.path / "pipe").c_str(), 0600), 0);
  writeFile(dir.path / "short.pic", pattern(300, 10));
  const auto result = send(dir.path, "/dev/skiff-no-such-port", {"pipe", "short.pic"});
  EXPECT_FALSE(result.timedOut);
  EXPECT_EQ(result.exitCode, 1);
  // No port was tried, no wait began; the run still ends with its summary.
  EXPECT_EQ(result.err, "skiff send: pipe: not a regular file\n"
                        "skiff send: short.pic: 300 bytes, shorter than the 512-byte header of a picture\n");
  EXPECT_EQ(result.out.rfind("Sent 0 of 2 files, 0 bytes, in ", 0), 0u) << result.out;
}

// A Ctrl-Z before the end is data; one at the end (with line ends after it) is the end mark of old editors. The
// names, and a note's text, are UTF-8 here and reach the Newton in the Windows character set; a note that is no
// UTF-8 goes as its bytes.
TEST(SendE2E, NotesWithCtrlZArriveWholeAndNamesInTheWindowsCharacterSet) {
  TempDir dir;
  const fs::path out = dir.path / "newton";
  const std::string middle = "Tide tables\r\n\x1A" + std::string(2000, 'w') + "\r\nend\r\n";
  const std::string trailing = "Buy rope\r\n\x1A\r\n";
  writeFile(dir.path / "middle.txt", middle);
  writeFile(dir.path / "caf\xC3\xA9 \xC3\xBC" "ber.txt", trailing);
  writeFile(dir.path / "\xE6\x97\xA5.bmp", "x");
  writeFile(dir.path / "menu.txt", "Caf\xC3\xA9\r\n\xE2\x82\xAC" "5, \xE6\x97\xA5\r\n\x1A");
  writeFile(dir.path / "latin.txt", "Caf\xE9\r\n");
  SimProcess sim({"companion", "--out", out.string()});
  ASSERT_TRUE(sim.start());
  const auto result = send(dir.path, sim.device(), {"middle.txt", "caf\xC3\xA9 \xC3\xBC" "ber.txt", "\xE6\x97\xA5.bmp",
                                                    "menu.txt", "latin.txt"});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_NE(result.err.find("skiff send: \xE6\x97\xA5.bmp: the Newton gets the name \"_.bmp\"\n"), std::string::npos)
      << result.err;
  EXPECT_NE(result.err.find("skiff send: menu.txt: 1 character the Newton's character set lacks goes as \"?\"\n"),
            std::string::npos)
      << result.err;
  EXPECT_EQ(result.err.find("latin.txt:"), std::string::npos) << result.err;
  EXPECT_EQ(sim.wait(30000), 0) << sim.errors();
  EXPECT_EQ(readFile(out / "middle.txt"), storedText("", middle));
  EXPECT_EQ(readFile(out / "middle.txt").size(), middle.size() - 3) << "every byte but the CRs of the CR LFs";
  EXPECT_EQ(readFile(out / "caf\xE9 \xFC" "ber.txt"), "Buy rope\r");
  EXPECT_EQ(readFile(out / "_.bmp"), "x");
  EXPECT_EQ(readFile(out / "menu.txt"), "Caf\xE9\r\x80" "5, ?\r");
  EXPECT_EQ(readFile(out / "latin.txt"), "Caf\xE9\r");
  const std::string log = readFile(out / "companion.log");
  EXPECT_NE(log.find("name=\"caf\\xE9 \\xFCber.txt\""), std::string::npos) << log;
  // The length announced is the converted note's size, as a file in the Windows set would have.
  EXPECT_NE(log.find("name=\"menu.txt\" type=SPIT typevalue=57494E444F5753 creator=57494E444F5753 length=14 "),
            std::string::npos)
      << log;
}

// The Newton's receiver is full for 20 s a third of the way into the file: longer than a write's 15 s.
TEST(SendE2E, ATwentySecondBusySpellIsRiddenOut) {
  TempDir dir;
  const fs::path out = dir.path / "newton";
  const std::string bitmap = pattern(6000, 11);
  writeFile(dir.path / "chart.bmp", bitmap);
  SimProcess sim({"--busy-after", "2000", "--busy-ms", "20000", "companion", "--out", out.string()});
  ASSERT_TRUE(sim.start());
  const auto result = send(dir.path, sim.device(), {"chart.bmp"});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(sim.wait(30000), 0) << sim.errors();
  EXPECT_EQ(readFile(out / "chart.bmp"), bitmap);
}

TEST(SendE2E, AFileThatShrinksWhileItIsSentEndsWithAnErrorNotPadding) {
  TempDir dir;
  const fs::path out = dir.path / "newton";
  writeFile(dir.path / "sea.bmp", pattern(20000, 8));
  SimProcess sim({"--baud", "9600", "companion", "--out", out.string()});  // about a second per kilobyte
  ASSERT_TRUE(sim.start());
  auto skiff = sendOnTerminal(dir.path, sim.device(), {"sea.bmp"});
  ASSERT_TRUE(skiff->waitFor("Transferring byte", 60000)) << skiff->output();
  fs::resize_file(dir.path / "sea.bmp", 8197);
  EXPECT_EQ(skiff->wait(kSendTimeoutMs), 1) << skiff->output();
  EXPECT_NE(skiff->output().find("Incomplete file: sea.bmp ended after 8197 of its 20000 bytes.\r\n"),
            std::string::npos)
      << skiff->output();
  EXPECT_NE(skiff->output().find("Sent 0 of 1 file, 0 bytes, in "), std::string::npos) << skiff->output();
  sim.wait(30000);
  // The Newton stored nothing: the link went down before the announced length was reached.
  EXPECT_FALSE(fs::exists(out / "sea.bmp"));
}

TEST(SendE2E, CtrlCStopsTheWaitForTheNewton) {
  TempDir dir;
  writeFile(dir.path / "a.txt", "a");
  test::PtyLine line;
  auto skiff = sendOnTerminal(dir.path, line.device(), {"a.txt"});
  ASSERT_TRUE(skiff->waitFor("Looking for Newton...", 20000)) << skiff->output();
  skiff->type("\x03");  // a press as the wait begins stops it as well as one during it
  EXPECT_EQ(skiff->wait(5000), 130) << skiff->output();
  EXPECT_NE(skiff->output().find("Operation cancelled by user\r\n"), std::string::npos) << skiff->output();
}

// The first Ctrl-C during the second file of three, as it sets up: it runs to its end, the third never starts,
// the batch ends on the Newton, and the command says what was not sent.
TEST(SendE2E, CtrlCDuringTheSecondFileLetsItFinishAndStartsNoOther) {
  TempDir dir;
  const fs::path out = dir.path / "newton";
  const std::string second = pattern(3000, 12);
  writeFile(dir.path / "a.bmp", pattern(100, 13));
  writeFile(dir.path / "b.bmp", second);
  writeFile(dir.path / "c.bmp", pattern(100, 14));
  SimProcess sim({"--baud", "9600", "companion", "--out", out.string()});
  ASSERT_TRUE(sim.start());
  auto skiff = sendOnTerminal(dir.path, sim.device(), {"a.bmp", "b.bmp", "c.bmp"});
  ASSERT_TRUE(skiff->waitFor("b.bmp (2 of 3)", 60000)) << skiff->output();
  skiff->type("\x03");
  EXPECT_EQ(skiff->wait(kSendTimeoutMs), 130) << skiff->output();
  EXPECT_NE(skiff->output().find("ABORTING... (press Ctrl-C again to quit at once)"), std::string::npos);
  EXPECT_NE(skiff->output().find("Not sent: c.bmp.\r\n"), std::string::npos) << skiff->output();
  EXPECT_NE(skiff->output().find("Sent 2 of 3 files, 3100 bytes, in "), std::string::npos) << skiff->output();
  EXPECT_EQ(skiff->output().find("c.bmp (3 of 3)"), std::string::npos) << skiff->output();
  EXPECT_EQ(sim.wait(30000), 0) << sim.errors();
  EXPECT_EQ(readFile(out / "b.bmp"), second);
  EXPECT_FALSE(fs::exists(out / "c.bmp"));
  EXPECT_NE(readFile(out / "companion.log").find("done files=2"), std::string::npos);
}

TEST(SendE2E, TwoCtrlCDuringATransferQuitAtOnce) {
  TempDir dir;
  writeFile(dir.path / "sea.bmp", pattern(20000, 9));
  SimProcess sim({"--baud", "9600", "companion", "--out", (dir.path / "newton").string()});
  ASSERT_TRUE(sim.start());
  auto skiff = sendOnTerminal(dir.path, sim.device(), {"sea.bmp"});
  ASSERT_TRUE(skiff->waitFor("Transferring byte", 60000)) << skiff->output();
  skiff->type("\x03");
  ASSERT_TRUE(skiff->waitFor("ABORTING... (press Ctrl-C again to quit at once)", 10000)) << skiff->output();
  const auto pressed = std::chrono::steady_clock::now();
  skiff->type("\x03");
  EXPECT_EQ(skiff->wait(3000), 130) << skiff->output();
  EXPECT_LT(std::chrono::steady_clock::now() - pressed, std::chrono::seconds(3));
  EXPECT_EQ(skiff->output().find("Sent "), std::string::npos) << "quit at once, without the summary";
}
}  // namespace
}  // namespace skiff
