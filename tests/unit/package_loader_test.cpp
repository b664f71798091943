#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include "package/package_command.h"
#include "package/package_loader.h"
#include "tests/support/fake_shell.h"
#include "tests/support/scripted_link.h"
#include "tests/support/dock_behind_link.h"
#include "tests/support/engine_world.h"

namespace skiff {
namespace {

using test::Bytes;
using test::bytesOf;

struct LoaderFixture : ::testing::Test, test::EngineWorld {
  test::DockBehindLink dock;
  std::unique_ptr<test::TempPackage> package;

  void SetUp() override {
    app.pipe = link.pipeCreate();
    dock.installsAnything = true;
  }
  void usePackage(std::size_t size) {
    package = std::make_unique<test::TempPackage>(size, "loader");
    ASSERT_TRUE(app.openFile.open(package->path(), false));
  }
  // The chunk writes (with the completion routine), as (length, end-of-message).
  std::vector<std::pair<std::size_t, int>> chunkWrites() const {
    std::vector<std::pair<std::size_t, int>> out;
    for (const auto& call : link.calls)
      if (call.op == "pipeWrite" && call.async) out.emplace_back(call.bytes.size(), call.endOfMessage);
    return out;
  }
  Bytes chunkBytes() const {
    Bytes out;
    for (const auto& call : link.calls)
      if (call.op == "pipeWrite" && call.async) out.insert(out.end(), call.bytes.begin(), call.bytes.end());
    return out;
  }
  int flushesOf(int side) const {
    return static_cast<int>(std::count_if(link.calls.begin(), link.calls.end(), [&](const test::LinkCall& c) {
      return c.op == "pipeFlush" && c.side == side;
    }));
  }
};

// --- the opening frame ------------------------------------------------------------------------------------------

struct OpeningCase {
  const char* name;
  const char* input;       // what the Newton sends first
  std::int16_t readFails;  // 0: none
};

class OpeningFrame : public LoaderFixture, public ::testing::WithParamInterface<OpeningCase> {};

TEST_P(OpeningFrame, GivesReconnectWithNothingWritten) {
  usePackage(100);
  link.queueInput(GetParam().input);
  if (GetParam().readFails != 0) link.failRead(0, GetParam().readFails);
  EXPECT_EQ(runPackageLoad(rt), SESSION_RECONNECT);
  EXPECT_EQ(link.count("pipeWrite"), 0);
  EXPECT_EQ(link.count("pipeDisconnect"), 1);
  EXPECT_EQ(app.transferPhase, -1);  // set by the status dialog as it closes
  EXPECT_FALSE(shell.statusOpen());
  EXPECT_TRUE(app.openFile.isOpen());
  EXPECT_TRUE(shell.boxes.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OpeningFrame,
    ::testing::Values(OpeningCase{"WrongCommand", "newtdockrtdx\0\0\0\4\0\0\0\x09", 0},
                      OpeningCase{"Silence", "", 0},
                      OpeningCase{"ReadFails", "newtdockrtdk", static_cast<std::int16_t>(code::kDisconnected)}),
    [](const auto& info) { return info.param.name; });

TEST_F(LoaderFixture, SilentNewtonTimesOutAfterTheFirstReadsFifteenSeconds) {
  usePackage(100);
  EXPECT_EQ(runPackageLoad(rt), SESSION_RECONNECT);
  // The time of one read: 15 s.
  EXPECT_GE(clock.now, 15000u);
  EXPECT_LT(clock.now, 16000u);
  EXPECT_EQ(link.count("pipeWrite"), 0);
}

// --- the handshake frames ---------------------------------------------------------------------------------------

TEST_F(LoaderFixture, HandshakeFramesGoInTheirWritesWithTheirFlags) {
  usePackage(100);
  dock.attach(link);
  ASSERT_EQ(runPackageLoad(rt), 0);
  // On the line each frame is a message of its own, the package's header and length one too.
  const auto messages = link.messages();
  ASSERT_EQ(messages.size(), 5u);
  EXPECT_EQ(messages[0], dock::encodeLongFrame("dock", 4));
  EXPECT_EQ(messages[1], dock::encodeLongFrame("stim", 30));
  Bytes announcement = bytesOf("newtdocklpkg");
  announcement.insert(announcement.end(), {0, 0, 0, 100});
  EXPECT_EQ(messages[2], announcement);
  EXPECT_EQ(messages[3], package->bytes());
  EXPECT_EQ(messages[4], dock::encodeFrame("disc", {}));
  EXPECT_EQ(dock.commands(), (std::vector<std::string>{"dock", "stim", "lpkg", "disc"}));
  for (const auto& call : link.calls) {
    if (call.op == "pipeRead" || call.op == "pipeWrite") {
      EXPECT_EQ(call.timeoutMs, 15000);
    }
  }
  EXPECT_EQ(link.ops().back(), "pipeDisconnect");
  EXPECT_FALSE(app.openFile.isOpen());
  EXPECT_EQ(app.transferPhase, -1);
  EXPECT_TRUE(shell.boxes.empty());
  EXPECT_EQ(shell.beeps, 0);
}

TEST_F(LoaderFixture, ReadsTheNamesPaddingWithTheReply) {
  usePackage(8);
  dock.attach(link);
  ASSERT_EQ(runPackageLoad(rt), 0);
  // The name's two pad bytes went with it: the two results after it were read as frames, and nothing is left.
  std::int32_t left = -1;
  link.pipeBytesAvailable(app.pipe, side::kInput, &left);
  EXPECT_EQ(left, 0);
  EXPECT_TRUE(shell.boxes.empty());
  EXPECT_EQ(shell.beeps, 0);
}

// --- streaming --------------------------------------------------------------------------------------------------

struct StreamCase {
  const char* name;
  std::size_t size;
  bool moreBackgroundTime;
  std::vector<std::pair<std::size_t, int>> writes;  // chunk writes: length, end-of-message
  int outputFlushes;                                // including the announcement's
};

std::vector<std::pair<std::size_t, int>> fullChunkInPieces() {
  std::vector<std::pair<std::size_t, int>> w(10, {204, 0});
  w.emplace_back(8, 1);
  return w;
}

std::vector<std::pair<std::size_t, int>> concat(std::vector<std::pair<std::size_t, int>> a,
                                                 const std::vector<std::pair<std::size_t, int>>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

class Streaming : public LoaderFixture, public ::testing::WithParamInterface<StreamCase> {};

TEST_P(Streaming, ChunkWritesFlagsAndFlushes) {
  const StreamCase& c = GetParam();
  app.settings.moreBackgroundTime = c.moreBackgroundTime ? 1 : 0;
  usePackage(c.size);
  dock.attach(link);
  ASSERT_EQ(runPackageLoad(rt), 0);
  EXPECT_EQ(chunkWrites(), c.writes);
  EXPECT_EQ(flushesOf(side::kOutput), c.outputFlushes);
  // The data is the file, byte for byte, then zero padding to four bytes.
  Bytes expected = package->bytes();
  expected.resize(c.size + dock::padFor(c.size), 0);
  EXPECT_EQ(chunkBytes(), expected);
  EXPECT_TRUE(dock.logged("rx lpkg length=" + std::to_string(c.size) + " pad=" + std::to_string(dock::padFor(c.size))));
  EXPECT_EQ(dock.commands().size(), 4u);
  EXPECT_EQ(app.transferPhase, -1);
  EXPECT_EQ(app.bytesTotal, static_cast<std::int32_t>(c.size));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Streaming,
    ::testing::Values(
        StreamCase{"Clear5000", 5000, false, {{2048, 1}, {2048, 1}, {904, 1}}, 1},
        StreamCase{"ClearExactly2048", 2048, false, {{2048, 1}}, 1},
        StreamCase{"ClearEmpty", 0, false, {}, 1},
        StreamCase{"SetEmpty", 0, true, {}, 1},
        StreamCase{"SetFullChunk", 2048, true, fullChunkInPieces(), 2},
        StreamCase{"SetLastChunk408", 2048 + 408, true, concat(fullChunkInPieces(), {{204, 0}, {204, 0}}), 3},
        StreamCase{"SetLastChunk204", 2048 + 204, true, concat(fullChunkInPieces(), {{204, 1}}), 2},
        StreamCase{"SetSmall", 100, true, {{100, 1}}, 1},
        StreamCase{"Set5000", 5000, true, concat(concat(fullChunkInPieces(), fullChunkInPieces()),
                                                 {{204, 0}, {204, 0}, {204, 0}, {204, 0}, {88, 1}}), 4},
        // Unaligned lengths: the last chunk carries the frame's zero padding.
        StreamCase{"ClearPadded5001", 5001, false, {{2048, 1}, {2048, 1}, {908, 1}}, 1},
        StreamCase{"ClearPadded1", 1, false, {{4, 1}}, 1},
        StreamCase{"SetPadded2050", 2050, true, concat(fullChunkInPieces(), {{4, 1}}), 2}),
    [](const auto& info) { return info.param.name; });

TEST_F(LoaderFixture, SeventyThousandBytesAnnouncedAndCountedToTheEnd) {
  usePackage(70000);
  dock.attach(link);
  ASSERT_EQ(runPackageLoad(rt), 0);
  Bytes announcement = bytesOf("newtdocklpkg");
  announcement.insert(announcement.end(), {0x00, 0x01, 0x11, 0x70});
  EXPECT_EQ(link.messages().at(2), announcement);
  EXPECT_EQ(chunkWrites().size(), 35u);
  EXPECT_EQ(chunkBytes(), package->bytes());
  EXPECT_NE(std::find(shell.countLines.begin(), shell.countLines.end(),
                      "Transferring byte 70000 of 70000 (100%)"),
            shell.countLines.end());
  EXPECT_NE(std::find(shell.countLines.begin(), shell.countLines.end(),
                      "Transferring byte 2048 of 70000 ( 2%)"),
            shell.countLines.end());
}

TEST_F(LoaderFixture, StageTextsInOrder) {
  usePackage(10);
  dock.attach(link);
  ASSERT_EQ(runPackageLoad(rt), 0);
  std::vector<std::string> stages;
  for (const auto& line : shell.statusLines) {
    const std::string stage = line.substr(0, line.size() - 3);
    if (stages.empty() || stages.back() != stage) stages.push_back(stage);
  }
  EXPECT_EQ(stages, (std::vector<std::string>{"Initiating Connection...", "Calculating file length...",
                                              "Connected...", "Sending Package...", "Disconnecting..."}));
}

// --- aborts -----------------------------------------------------------------------------------------------------

TEST_F(LoaderFixture, AbortBeforeTheStreamStillAnnouncesButSendsNoPackageByte) {
  usePackage(5000);
  dock.attach(link);
  app.abortRequested = true;
  EXPECT_EQ(runPackageLoad(rt), 0);
  EXPECT_EQ(dock.commands(), (std::vector<std::string>{"dock", "stim"}));
  EXPECT_EQ(dock.dock->frameInProgress(), "lpkg");  // "newtdocklpkg" announced
  EXPECT_TRUE(chunkWrites().empty());
  EXPECT_EQ(link.ops().back(), "pipeDisconnect");
  EXPECT_FALSE(app.openFile.isOpen());
  EXPECT_EQ(app.transferPhase, -1);
}

TEST_F(LoaderFixture, AbortDuringTheStreamStopsBeforeTheNextChunkWithoutDisc) {
  usePackage(5000);
  dock.attach(link);
  dock.afterWrite = [this](test::ScriptedLink&, std::int64_t bytes) {
    if (bytes > 0) app.abortRequested = true;
  };
  EXPECT_EQ(runPackageLoad(rt), 0);
  EXPECT_EQ(chunkWrites().size(), 1u);
  EXPECT_EQ(dock.commands(), (std::vector<std::string>{"dock", "stim"}));
  for (const auto& m : link.messages()) EXPECT_NE(m, dock::encodeFrame("disc", {}));
  EXPECT_EQ(shell.beeps, 0);
  EXPECT_TRUE(shell.boxes.empty());
}

// --- what the Newton answers ------------------------------------------------------------------------------------

struct RefusalCase {
  const char* name;
  std::int32_t result;
  const char* box;
};

class NewtonRefuses : public LoaderFixture, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(NewtonRefuses, ReportsTheResultBeepsAndFails) {
  usePackage(3000);
  newton::DockFaults faults;
  faults.result = GetParam().result;
  dock.attach(link, faults);
  EXPECT_EQ(runPackageLoad(rt), code::kAborted);
  ASSERT_EQ(shell.boxes.size(), 1u);
  EXPECT_EQ(shell.boxes[0].text, GetParam().box);
  EXPECT_EQ(shell.boxes[0].icon, BoxIcon::Information);
  EXPECT_EQ(shell.beeps, 3);
  EXPECT_EQ(dock.commands(), (std::vector<std::string>{"dock", "stim", "lpkg", "disc"}));
  EXPECT_EQ(app.transferPhase, -1);
  EXPECT_FALSE(app.openFile.isOpen());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NewtonRefuses,
    ::testing::Values(RefusalCase{"BadPackage", -10401, "Process aborted by Newton. -10401 (bad package)"},
                      RefusalCase{"Exists", -10402, "Process aborted by Newton. -10402 (package already exists)"},
                      RefusalCase{"Unknown", -48, "Process aborted by Newton. -48 (unknown result)"}),
    [](const auto& info) { return info.param.name; });

struct MidStreamCase {
  const char* name;
  const char* command;
  std::int32_t result;  // for "dres"
  const char* box;
  bool acknowledged;    // "newtdockocaa" goes back
};

class NewtonStopsTheStream : public LoaderFixture, public ::testing::WithParamInterface<MidStreamCase> {};

TEST_P(NewtonStopsTheStream, StopsAfterTheChunkClosesAndReports) {
  const MidStreamCase& c = GetParam();
  usePackage(10000);
  newton::DockFaults faults;
  faults.silentOnPackages = true;
  dock.attach(link, faults);
  bool sent = false;
  dock.afterWrite = [&](test::ScriptedLink& l, std::int64_t bytes) {
    if (sent || bytes == 0) return;
    sent = true;
    l.queueInput(std::string(c.command) == "dres" ? dock::encodeLongFrame("dres", c.result)
                                                   : dock::encodeFrame(c.command, {}));
  };
  EXPECT_EQ(runPackageLoad(rt), code::kAborted);
  EXPECT_EQ(chunkWrites().size(), 1u);
  EXPECT_EQ(shell.beeps, 3);
  ASSERT_EQ(shell.boxes.size(), 1u);
  EXPECT_EQ(shell.boxes[0].text, c.box);
  // The package frame was cut short; the dock takes the rest as part of it, so look at what went on the line.
  const auto messages = link.messages();
  const bool ocaa = std::find(messages.begin(), messages.end(), dock::encodeFrame("ocaa", {})) != messages.end();
  EXPECT_EQ(ocaa, c.acknowledged);
  EXPECT_EQ(messages.back(), dock::encodeFrame("disc", {}));
  EXPECT_FALSE(app.openFile.isOpen());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NewtonStopsTheStream,
    ::testing::Values(MidStreamCase{"Cancel", "opca", 0, "Process aborted by Newton. (operation cancelled)", true},
                      MidStreamCase{"CancelOtherSpelling", "opcn", 0,
                                    "Process aborted by Newton. (operation cancelled)", true},
                      MidStreamCase{"Error", "dres", -28017, "Process aborted by Newton. -28017 (out of memory)",
                                    false}),
    [](const auto& info) { return info.param.name; });

TEST_F(LoaderFixture, KeepAliveFramesDuringTheStreamAreIgnored) {
  usePackage(10000);
  dock.attach(link);
  std::int64_t seen = 0;
  dock.afterWrite = [&seen](test::ScriptedLink& l, std::int64_t bytes) {
    if (bytes > seen) l.queueInput(dock::encodeFrame("helo", {}));
    seen = bytes;
  };
  EXPECT_EQ(runPackageLoad(rt), 0);
  EXPECT_EQ(chunkWrites().size(), 5u);
  EXPECT_EQ(shell.beeps, 0);
  EXPECT_TRUE(shell.boxes.empty());
}

TEST_F(LoaderFixture, InstallResultArrivingAfterTheClosingPauseIsAwaited) {
  usePackage(100);
  newton::DockFaults faults;
  faults.silentOnPackages = true;
  dock.attach(link, faults);
  std::uint32_t streamed = 0;
  dock.afterWrite = [this, &streamed](test::ScriptedLink& l, std::int64_t) {
    if (dock.commands().size() == 3 && streamed == 0) {
      streamed = clock.now;
      shell.at(clock.now + 12000, [&l] { l.queueInput(dock::encodeLongFrame("dres", -10401)); });
    }
  };
  EXPECT_EQ(runPackageLoad(rt), code::kAborted);
  EXPECT_EQ(shell.boxes.at(0).text, "Process aborted by Newton. -10401 (bad package)");
}

// After the stream the Newton may install for a long time, saying only "helo" now and then. Times are counted
// from the package's last byte; the loader then pauses 3 s and waits.
struct InstallWaitCase {
  const char* name;
  std::uint32_t heloEveryMs;   // 0: none
  std::uint32_t heloUntilMs;   // the last keep-alive at or before this
  std::int64_t resultAtMs;     // the "dres" 0; -1: never
  std::int32_t expected;
  std::uint32_t discFromMs, discToMs;  // when "newtdockdisc" goes
};

class InstallWait : public LoaderFixture, public ::testing::WithParamInterface<InstallWaitCase> {};

TEST_P(InstallWait, KeepAlivesRestartTheWaitAndSilenceEndsIt) {
  const InstallWaitCase& c = GetParam();
  usePackage(100);
  newton::DockFaults faults;
  faults.silentOnPackages = true;
  dock.attach(link, faults);
  std::uint32_t announced = 0;
  std::int64_t disc = -1;
  dock.afterWrite = [&](test::ScriptedLink& l, std::int64_t) {
    if (disc < 0 && dock.commands().back() == "disc") disc = static_cast<std::int64_t>(clock.now) - announced;
    if (dock.commands().size() != 3 || announced != 0) return;
    announced = clock.now;
    for (std::uint32_t t = c.heloEveryMs; c.heloEveryMs > 0 && t <= c.heloUntilMs; t += c.heloEveryMs)
      shell.at(announced + t, [&l] { l.queueInput(dock::encodeFrame("helo", {})); });
    if (c.resultAtMs >= 0)
      shell.at(announced + static_cast<std::uint32_t>(c.resultAtMs), [&l] { l.queueInput(dock::encodeLongFrame("dres", 0)); });
  };
  EXPECT_EQ(runPackageLoad(rt), c.expected);
  EXPECT_GE(disc, c.discFromMs);
  EXPECT_LT(disc, c.discToMs);
  EXPECT_TRUE(shell.boxes.empty());
  EXPECT_EQ(dock.commands().back(), "disc");
  EXPECT_EQ(app.transferPhase, -1);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, InstallWait,
    ::testing::Values(
        // Nothing at all: the 30 s of "stim" after the closing pause, then a time-out, never success.
        InstallWaitCase{"NoFrameIsATimeout", 0, 0, -1, code::kTimeout, 33000, 34000},
        // A 55 s install with "helo" every 10 s ends in its result.
        InstallWaitCase{"KeepAlivesCarryALongInstall", 10000, 600000, 55000, 0, 55000, 56000},
        // The keep-alives stop: 30 s after the last one it is over.
        InstallWaitCase{"SilenceAfterTheLastKeepAlive", 10000, 20000, -1, code::kTimeout, 50000, 51000},
        // Keep-alives for ever: the overall bound (a minute for a small package) ends it.
        InstallWaitCase{"OverallBound", 10000, 600000, -1, code::kTimeout, 63000, 64000}),
    [](const auto& info) { return info.param.name; });

TEST(InstallWaitLimit, GrowsWithThePackage) {
  EXPECT_EQ(installWaitLimitMs(100), 60000);
  EXPECT_GE(installWaitLimitMs(1 << 20), 4 * 60000);  // minutes for a megabyte
  EXPECT_GT(installWaitLimitMs(300 * 1024), installWaitLimitMs(100 * 1024));
}

// --- bounded reads ----------------------------------------------------------------------------------------------

TEST_F(LoaderFixture, LongReplyAndWaitingInputAreReadInBoundedPieces) {
  usePackage(100);
  newton::DockFaults faults;
  faults.nameLength = 1201;
  dock.attach(link, faults);
  bool junked = false;
  dock.afterWrite = [&](test::ScriptedLink& l, std::int64_t) {
    // Junk waiting after the time-out frame, before the Newton's answer to it.
    if (dock.commands().size() == 2 && !junked) l.queueInput(Bytes(1300, 0x55));
    junked = junked || dock.commands().size() == 2;
  };
  EXPECT_EQ(runPackageLoad(rt), 0);
  int reads = 0;
  for (const auto& call : link.calls) {
    if (call.op != "pipeRead") continue;
    EXPECT_LE(call.length, 500);
    ++reads;
  }
  EXPECT_GE(reads, 6);  // the 1.2 KB name and the 1.3 KB of junk, each in pieces
  EXPECT_TRUE(shell.boxes.empty());
}

// A name frame announcing 4 GB (raw dock frames come from any program that connects): read in the same pieces
// until the bytes stop, and the load fails; nothing is sized by the announced length.
TEST_F(LoaderFixture, AFourGigabyteNameIsReadInPiecesAndEndsWhenTheBytesStop) {
  usePackage(100);
  link.queueInput(dock::encodeLongFrame("rtdk", 9));
  link.onWrite = [](test::ScriptedLink& l, const Bytes& written, bool) {
    if (written != dock::encodeLongFrame("dock", 4)) return;
    const auto header = dock::frameHeader("name");
    l.queueInput(Bytes(header.begin(), header.end()));
    l.queueInput(Bytes{0xFF, 0xFF, 0xFF, 0xFF});
    l.queueInput(Bytes(1000, 0x55));
  };
  EXPECT_EQ(runPackageLoad(rt), code::kTimeout);
  for (const auto& call : link.calls) {
    if (call.op == "pipeRead") {
      EXPECT_LE(call.length, 500);
    }
  }
  EXPECT_EQ(link.ops().back(), "pipeDisconnect");
}

// --- waits that must end ----------------------------------------------------------------------------------------

TEST_F(LoaderFixture, ChunkWriteThatNeverCompletesEndsWithATimeout) {
  usePackage(3000);
  dock.attach(link);
  link.holdCompletions = true;
  EXPECT_EQ(runPackageLoad(rt), code::kTimeout);
  EXPECT_EQ(chunkWrites().size(), 1u);
  EXPECT_FALSE(app.openFile.isOpen());
  EXPECT_EQ(app.transferPhase, -1);
}

TEST_F(LoaderFixture, OutputThatNeverDrainsEndsWithATimeout) {
  usePackage(3000);
  dock.attach(link);
  link.outputPendingAnswer = 7;
  EXPECT_EQ(runPackageLoad(rt), code::kTimeout);
  EXPECT_GE(clock.now, 1000u + static_cast<std::uint32_t>(kDockWaitLimitMs));
  EXPECT_LE(clock.now, 1000u + static_cast<std::uint32_t>(kDockWaitLimitMs) + 1100u);
}

TEST_F(LoaderFixture, FailedChunkWriteIsAnErrorEnding) {
  usePackage(5000);
  dock.attach(link);
  link.failWrite(3 + 1, static_cast<std::int16_t>(code::kDisconnected));  // after three frames, the second chunk
  EXPECT_EQ(runPackageLoad(rt), code::kDisconnected);
  EXPECT_EQ(link.ops().back(), "pipeDisconnect");
  EXPECT_FALSE(app.openFile.isOpen());
  EXPECT_EQ(app.transferPhase, -1);
}

TEST_F(LoaderFixture, ANewtonThatHangsUpOnDiscAfterItsResultHasInstalled) {
  usePackage(50);
  dock.attach(link);
  bool armed = false;
  dock.afterWrite = [&](test::ScriptedLink& l, std::int64_t bytes) {
    // The next write after the whole package is "disc", never acknowledged: the Newton has gone.
    if (bytes == 50 && !armed) l.failWrite(l.count("pipeWrite"), code::kDisconnected);
    armed = armed || bytes == 50;
  };
  EXPECT_EQ(runPackageLoad(rt), 0);
  EXPECT_TRUE(shell.boxes.empty());
  EXPECT_EQ(link.ops().back(), "pipeDisconnect");
}

TEST_F(LoaderFixture, FailedDockWriteIsAnErrorEnding) {
  usePackage(50);
  dock.attach(link);
  link.failWrite(1, static_cast<std::int16_t>(code::kTimeout));
  EXPECT_EQ(runPackageLoad(rt), code::kTimeout);
  EXPECT_EQ(link.count("pipeWrite"), 2);
}


// The package shrinks while it streams: what was announced cannot come, so the load ends with a report and an
// error instead of a frame padded or cut short as if it were whole. (The stream's buffer holds what it read
// ahead; the bytes it fetches after that are missing.)
TEST_F(LoaderFixture, APackageThatShrinksEndsWithAReportNotAShortFrame) {
  usePackage(20000);
  app.fileName = "TEST.PKG";
  dock.attach(link);
  const std::string path = package->path();
  dock.afterWrite = [&](test::ScriptedLink&, std::int64_t bytes) {
    if (bytes > 0) std::filesystem::resize_file(path, 9000);
  };
  EXPECT_EQ(runPackageLoad(rt), code::kReadError);
  ASSERT_EQ(shell.boxes.size(), 1u);
  EXPECT_EQ(shell.boxes[0].text, "Incomplete file: TEST.PKG ended after 9000 of its 20000 bytes.");
  EXPECT_EQ(chunkBytes().size(), 8192u) << "whole chunks only, the short rest not sent";
  EXPECT_EQ(dock.commands(), (std::vector<std::string>{"dock", "stim"})) << "no package frame ends, no disc";
  EXPECT_EQ(link.ops().back(), "pipeDisconnect");
  EXPECT_FALSE(app.openFile.isOpen());
}

// --- several packages over one session --------------------------------------------------------------------------

using Fates = std::vector<PackageFate>;
constexpr auto kInstalled = PackageFate::Installed;
constexpr auto kRefused = PackageFate::Refused;
constexpr auto kFailed = PackageFate::Failed;
constexpr auto kStopped = PackageFate::Stopped;
constexpr auto kNotSent = PackageFate::NotSent;

struct BatchCase {
  const char* name;
  std::vector<std::size_t> sizes;  // packages A.pkg, B.pkg, ... of these sizes
  std::vector<std::int32_t> results;  // the Newton's answer to each; none: it never answers
  // What else happens once `bytes` of the session's package data have gone; may be empty.
  std::function<void(test::ScriptedLink&, AppState&, std::uint64_t bytes)> fault;
  std::int32_t result;
  Fates fates;
  std::vector<std::string> boxes;
  const char* frames;  // the commands of the frames the desktop began, in order
};

class PackageBatchTable : public LoaderFixture, public ::testing::WithParamInterface<BatchCase> {};

TEST_P(PackageBatchTable, EachPackageInTurnAndItsFate) {
  const BatchCase& c = GetParam();
  std::vector<std::unique_ptr<test::TempPackage>> files;
  PackageBatch batch;
  std::vector<std::size_t> told;
  batch.onOutcome = [&](std::size_t index, const PackageOutcome&) { told.push_back(index); };
  for (std::size_t i = 0; i < c.sizes.size(); ++i) {
    files.push_back(std::make_unique<test::TempPackage>(c.sizes[i], "batch"));
    batch.packages.push_back({files.back()->path(), std::string(1, static_cast<char>('A' + i)) + ".pkg"});
  }
  newton::DockFaults faults;
  faults.results = c.results;
  faults.silentOnPackages = c.results.empty();
  dock.attach(link, faults);
  std::int64_t faultSeen = 0;
  dock.afterWrite = [&](test::ScriptedLink& l, std::int64_t bytes) {
    if (c.fault && bytes != faultSeen) c.fault(l, app, static_cast<std::uint64_t>(bytes));
    faultSeen = bytes;
  };
  app.pipe = link.pipeCreate();
  EXPECT_EQ(runPackageBatch(rt, batch), c.result);

  std::vector<PackageFate> fates;
  for (const auto& outcome : batch.outcomes) fates.push_back(outcome.fate);
  EXPECT_EQ(fates, c.fates);
  std::vector<std::string> boxes;
  for (const auto& box : shell.boxes) boxes.push_back(box.text);
  EXPECT_EQ(boxes, c.boxes);
  // Each package but the last is followed by nothing but the next announcement.
  std::string frames;
  for (const auto& m : link.messages())
    if (m.size() >= 16 && test::textOf(m).rfind("newtdock", 0) == 0) frames += test::textOf(m).substr(8, 4) + " ";
  EXPECT_EQ(frames, c.frames);
  // Every package that ended was told as it ended, in order; those not sent were not.
  std::vector<std::size_t> ended;
  for (std::size_t i = 0; i < fates.size(); ++i)
    if (fates[i] != kNotSent) ended.push_back(i);
  EXPECT_EQ(told, ended);
  EXPECT_EQ(app.batch.filesSent, static_cast<int>(std::count(fates.begin(), fates.end(), kInstalled)));
  EXPECT_FALSE(app.openFile.isOpen());
  EXPECT_LT(clock.now, 60000u) << "no wait for a result ran twice";
}

const auto abortAt = [](std::uint64_t at) {
  return [at](test::ScriptedLink&, AppState& app, std::uint64_t bytes) {
    if (bytes >= at) app.abortRequested = true;
  };
};

INSTANTIATE_TEST_SUITE_P(
    Cases, PackageBatchTable,
    ::testing::Values(
        BatchCase{"TwoInstalled", {3000, 100}, {0, 0}, nullptr, 0, {kInstalled, kInstalled}, {}, "dock stim lpkg lpkg disc "},
        BatchCase{"MiddleRefusedTheRestGoes", {100, 200, 300}, {0, -10402, 0}, nullptr, 0,
                  {kInstalled, kRefused, kInstalled},
                  {"B.pkg: Process aborted by Newton. -10402 (package already exists)"},
                  "dock stim lpkg lpkg lpkg disc "},
        BatchCase{"LastRefused", {100, 200}, {0, -10401}, nullptr, 0, {kInstalled, kRefused},
                  {"B.pkg: Process aborted by Newton. -10401 (bad package)"}, "dock stim lpkg lpkg disc "},
        BatchCase{"CancelInTheFirstStopsTheBatch", {5000, 100}, {0, 0},
                  [](test::ScriptedLink& l, AppState&, std::uint64_t bytes) {
                    if (bytes == 2048) l.queueInput(dock::encodeFrame("opca", {}));
                  },
                  0, {kFailed, kNotSent}, {"A.pkg: Process aborted by Newton. (operation cancelled)"},
                  "dock stim lpkg ocaa disc "},
        BatchCase{"LinkLostInTheSecond", {100, 5000, 100}, {0, 0, 0},
                  [](test::ScriptedLink& l, AppState&, std::uint64_t bytes) {
                    if (bytes > 100) l.connected = false;
                  },
                  code::kDisconnected, {kInstalled, kFailed, kNotSent}, {}, "dock stim lpkg lpkg "},
        BatchCase{"StoppedInTheSecond", {100, 5000, 100}, {0, 0, 0}, abortAt(2148), 0,
                  {kInstalled, kStopped, kNotSent}, {}, "dock stim lpkg lpkg "},
        // The wait for the result runs out once, not again at the closing.
        BatchCase{"NoResultForTheFirst", {100, 100}, {}, nullptr, code::kTimeout, {kFailed, kNotSent}, {},
                  "dock stim lpkg disc "}),
    [](const auto& info) { return info.param.name; });

// Streaming ahead keeps the next chunk queued behind the one on the line; chunk by chunk waits for each.
TEST_F(LoaderFixture, StreamingAheadWritesTheNextChunkBeforeTheLastCompletes) {
  for (const bool ahead : {false, true}) {
    test::TempPackage file(7000, "ahead");
    PackageBatch batch;
    batch.streamAhead = ahead;
    batch.packages.push_back({file.path(), "A.pkg"});
    link.calls.clear();
    link.connected = true;
    link.completionsOutstandingAtWrite.clear();
    link.completionDelayIdles = 3;  // acknowledgements take a while
    dock = test::DockBehindLink{};
    dock.installsAnything = true;
    dock.attach(link);
    app.pipe = link.pipeCreate();
    ASSERT_EQ(runPackageBatch(rt, batch), 0);
    // Never more than the one chunk before it waits unacknowledged.
    const auto& outstanding = link.completionsOutstandingAtWrite;
    ASSERT_EQ(outstanding.size(), 4u);
    EXPECT_EQ(*std::max_element(outstanding.begin(), outstanding.end()), ahead ? 1 : 0) << ahead;
    EXPECT_EQ(chunkBytes(), file.bytes());
  }
}

}  // namespace
}  // namespace skiff
