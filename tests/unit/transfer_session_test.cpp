#include "transfer/transfer_session.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>

#include "core/pump.h"
#include "tests/unit/transfer_harness.h"

namespace skiff {
namespace {

using test::Bytes;
using test::TransferBench;

std::string be32(std::uint32_t v) {
  return {char(v >> 24), char((v >> 16) & 0xFF), char((v >> 8) & 0xFF), char(v & 0xFF)};
}

std::vector<std::string> parameterBlock(const std::string& name) {
  return {"PARM\x04", "FILETYPE\x04", "WINDOWS\x04", "PARM\x04",       "FILECREATOR\x04",
          "WINDOWS\x04", "PARM\x04",   "FILENAME\x04", name + "\x04"};
}

std::vector<std::string> writtenTexts(const test::ScriptedLink& link) {
  std::vector<std::string> out;
  for (const auto& bytes : link.written()) out.push_back(test::textOf(bytes));
  return out;
}

std::string binary(std::size_t n, int seed = 1) {
  std::string s(n, '\0');
  for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 31 + seed * 7 + (i >> 8)) & 0xFF);
  return s;
}

// --- what goes on the wire, file by file ----------------------------------------------------------------------

struct WireCase {
  const char* label;
  std::int32_t kind;
  std::string header;
  std::string file;
  std::vector<std::string> afterParameters;  // every write after the parameter block, in order
  std::string stored;                        // what the companion keeps
};

class SessionWire : public ::testing::TestWithParam<WireCase> {};

TEST_P(SessionWire, WritesAndStores) {
  const WireCase& c = GetParam();
  TransferBench bench;
  bench.prepare("NOTE.TXT", c.file, c.kind, c.header);
  EXPECT_EQ(runTransferSession(bench.rt, bench.file), 0);

  std::vector<std::string> expected = parameterBlock("NOTE.TXT");
  expected.insert(expected.end(), c.afterParameters.begin(), c.afterParameters.end());
  EXPECT_EQ(writtenTexts(bench.link), expected);
  for (const auto& call : bench.link.calls) {
    if (call.op == "pipeWrite") {
      EXPECT_EQ(call.endOfMessage, 1);
      EXPECT_EQ(call.timeoutMs, 15000);
      EXPECT_FALSE(call.async);
    }
    if (call.op == "pipeRead") {
      EXPECT_EQ(call.result, 0) << "every read the desktop makes is answered";
    }
  }
  ASSERT_EQ(bench.received.size(), 1u);
  EXPECT_EQ(std::string(bench.received[0].bytes.begin(), bench.received[0].bytes.end()), c.stored);
  EXPECT_EQ(bench.received[0].name, "NOTE.TXT");
  EXPECT_EQ(bench.batchesDone, 1);
  EXPECT_TRUE(bench.shell.boxes.empty());
  EXPECT_EQ(bench.app.transferPhase, -1);
  EXPECT_FALSE(bench.app.openFile.isOpen());
  EXPECT_FALSE(bench.link.connected);
}

const std::string k1000 = binary(1000);
const std::string k1234 = binary(1234);
const std::string kPic = std::string(512, 'H') + "PIXELS";

INSTANTIATE_TEST_SUITE_P(
    Files, SessionWire,
    ::testing::Values(
        WireCase{"TextLineEnds", kText, "", "a\r\nb\nc\rd",
                 {"SPIT\x04", be32(8), "DATA\x04", "a\rb\rc\rd\x04", "NEXT\x04", "DONE\x04"}, "a\rb\rc\rd"},
        WireCase{"HeaderKeepsItsLineFeed", kText, "*TODO*\n", "x\r\n",
                 {"SPIT\x04", be32(3), "DATA\x04", "*TODO*\n\x04", "DATA\x04", "x\r\x04", "NEXT\x04", "DONE\x04"},
                 "*TODO*\nx\r"},
        WireCase{"TrailingCtrlZEndsTheText", kText, "", "ab\n\x1A\r\n",
                 {"SPIT\x04", be32(6), "DATA\x04", "ab\r\x04", "NEXT\x04", "DONE\x04"}, "ab\r"},
        WireCase{"CtrlZWithTextAfterItGoesAsData", kText, "", "ab\x1A" "cd\n",
                 {"SPIT\x04", be32(6), "DATA\x04", "ab\x1A" "cd\r\x04", "NEXT\x04", "DONE\x04"}, "ab\x1A" "cd\r"},
        WireCase{"LineFeedsAfterANulStay", kText, "", std::string("a\n\0b\n", 5),
                 {"SPIT\x04", be32(5), "DATA\x04", std::string("a\r\0b\n\x04", 6), "NEXT\x04", "DONE\x04"},
                 std::string("a\r\0b\n", 5)},
        WireCase{"ChunkStartingWithNulKeepsItsLineFeeds", kText, "", std::string("\0a\nb", 4),
                 {"SPIT\x04", be32(4), "DATA\x04", std::string("\0a\nb\x04", 5), "NEXT\x04", "DONE\x04"},
                 std::string("\0a\nb", 4)},
        WireCase{"EmptyText", kText, "", "", {"SPIT\x04", be32(0), "NEXT\x04", "DONE\x04"}, ""},
        WireCase{"EmptyBitmap", kBitmap, "", "", {"SBMP\x04", be32(0), "DONE\x04"}, ""},
        WireCase{"PictureSkipsItsFirst512Bytes", kPicture, "", kPic, {"SPIB\x04", be32(6), "PIXELS", "DONE\x04"},
                 "PIXELS"},
        WireCase{"PictureShorterThan512IsAnnouncedEmpty", kPicture, "", std::string(300, 'p'),
                 {"SPIB\x04", be32(0), "DONE\x04"}, ""},
        WireCase{"PackageOf1234BytesInThreeChunks", kPackage, "", k1234,
                 {"SBPK\x04", std::string("\x00\x00\x04\xD2", 4), k1234.substr(0, 500), k1234.substr(500, 500),
                  k1234.substr(1000), "DONE\x04"},
                 k1234},
        WireCase{"Exactly1000BytesSendNoThirdChunk", kBitmap, "", k1000,
                 {"SBMP\x04", be32(1000), k1000.substr(0, 500), k1000.substr(500), "DONE\x04"}, k1000}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(SessionText, LengthWordIsTheSizeOnDiskNotTheCharactersSent) {
  TransferBench bench;
  bench.prepare("CRLF.TXT", std::string(600, 'x') + "\r\n" + std::string(10, 'y') + "\r\n", kText);
  EXPECT_EQ(runTransferSession(bench.rt, bench.file), 0);
  ASSERT_EQ(bench.received.size(), 1u);
  EXPECT_EQ(bench.received[0].announcedLength, 614);
  EXPECT_EQ(bench.received[0].bytes.size(), 612u);  // each CR LF went out as one CR
  EXPECT_EQ(bench.received[0].chunkSizes, (std::vector<std::size_t>{500, 112}));
}

TEST(SessionText, TheHeaderIsSentOnceAndThenCleared) {
  TransferBench bench;
  bench.prepare("TODO.TXT", "z", kText, "*TODO*\n");
  EXPECT_EQ(runTransferSession(bench.rt, bench.file), 0);
  EXPECT_TRUE(bench.file.textHeader.empty());
  EXPECT_EQ(bench.received[0].header, "*TODO*\n");
  // The reply to the length word is read with 15 s and no retry, before the header goes out.
  const auto& calls = bench.link.calls;
  for (std::size_t i = 0; i < calls.size(); ++i) {
    if (calls[i].op == "pipeWrite" && test::textOf(calls[i].bytes) == "*TODO*\n\x04") {
      ASSERT_GE(i, 2u);
      EXPECT_EQ(calls[i - 1].op, "pipeWrite");  // "DATA"
      EXPECT_EQ(calls[i - 2].op, "pipeRead");
      EXPECT_EQ(calls[i - 2].timeoutMs, 15000);
    }
  }
}

TEST(SessionText, ANameOf700BytesGoesWhole) {
  TransferBench bench;
  bench.prepare("LONG.TXT", "q", kText);
  bench.file.fileName = std::string(700, 'N');
  EXPECT_EQ(runTransferSession(bench.rt, bench.file), 0);
  const auto writes = writtenTexts(bench.link);
  ASSERT_GT(writes.size(), 8u);
  EXPECT_EQ(writes[8], std::string(700, 'N') + "\x04");
  EXPECT_EQ(bench.received[0].name, std::string(700, 'N'));
}

// --- replies ------------------------------------------------------------------------------------------------

TEST(SessionReplies, NoFlushesBothSidesAndTheNextChunkFollows) {
  newton::CompanionFaults faults;
  faults.refuseChunk = 1;
  TransferBench bench(faults);
  bench.prepare("P.PKG", k1234, kPackage);
  EXPECT_EQ(runTransferSession(bench.rt, bench.file), 0);
  const auto writes = writtenTexts(bench.link);
  EXPECT_EQ(std::count(writes.begin(), writes.end(), k1234.substr(0, 500)), 1) << "the refused chunk is not repeated";
  EXPECT_EQ(bench.received[0].bytes.size(), 734u);
  const auto& replies = bench.received[0].replies;
  ASSERT_EQ(replies.size(), 14u);  // nine parameters, type token, length word, three chunks
  EXPECT_EQ(std::vector<std::string>(replies.begin() + 9, replies.end()),
            (std::vector<std::string>{"OK", "OK", "NO", "OK", "OK"}));

  // After the read that brought "NO": flush output, flush input, flush input, then the next chunk.
  const auto& calls = bench.link.calls;
  bool seen = false;
  for (std::size_t i = 0; i + 4 < calls.size(); ++i) {
    if (calls[i].op != "pipeRead" || test::textOf(calls[i].bytes) != "NO") continue;
    seen = true;
    EXPECT_EQ(calls[i + 1].op, "pipeFlush");
    EXPECT_EQ(calls[i + 1].side, 2);
    EXPECT_EQ(calls[i + 2].op, "pipeFlush");
    EXPECT_EQ(calls[i + 2].side, 1);
    EXPECT_EQ(calls[i + 3].op, "pipeFlush");
    EXPECT_EQ(calls[i + 3].side, 1);
    EXPECT_EQ(calls[i + 4].op, "pipeWrite");
    EXPECT_EQ(test::textOf(calls[i + 4].bytes), k1234.substr(500, 500));
  }
  EXPECT_TRUE(seen);
}

TEST(SessionReplies, NoReplyToTheFirstParmGoesStraightToTheTypeToken) {
  newton::CompanionFaults faults;
  faults.silentAt = 1;
  TransferBench bench(faults);
  bench.prepare("Q.BMP", "bm", kBitmap);
  EXPECT_EQ(runTransferSession(bench.rt, bench.file), 0);
  const auto writes = writtenTexts(bench.link);
  ASSERT_GE(writes.size(), 3u);
  EXPECT_EQ(writes[0], "PARM\x04");
  EXPECT_EQ(writes[1], "SBMP\x04");
  EXPECT_EQ(writes[2], be32(2));
  const auto firstRead = std::find_if(bench.link.calls.begin(), bench.link.calls.end(),
                                     [](const test::LinkCall& call) { return call.op == "pipeRead"; });
  ASSERT_NE(firstRead, bench.link.calls.end());
  EXPECT_EQ(firstRead->result, code::kTimeout);
  EXPECT_EQ(firstRead->timeoutMs, 30000);
  EXPECT_EQ(bench.link.count("pipeRead"), 5) << "PARM (no retry), type token, length word, chunk, DONE";
  EXPECT_EQ(bench.received[0].bytes.size(), 2u);
  EXPECT_TRUE(bench.shell.boxes.empty());
}

// --- the end of a file and of the batch ----------------------------------------------------------------------

TEST(SessionBatch, LastFileNotOpenedSendsOnlyDone) {
  TransferBench bench;
  bench.file.fileOpened = false;
  bench.file.lastFileOfBatch = true;
  EXPECT_EQ(runTransferSession(bench.rt, bench.file), 0);
  EXPECT_EQ(writtenTexts(bench.link), std::vector<std::string>{"DONE\x04"});
  EXPECT_EQ(bench.batchesDone, 1);
  EXPECT_EQ(bench.link.count("pipeDisconnect"), 1);
  EXPECT_EQ(bench.app.transferPhase, -1);
}

TEST(SessionBatch, AFileThatIsNotTheLastLeavesThePipeConnected) {
  TransferBench bench;
  bench.prepare("A.PKG", k1234, kPackage, "", false);
  EXPECT_EQ(runTransferSession(bench.rt, bench.file), 0);
  const auto writes = writtenTexts(bench.link);
  EXPECT_EQ(std::count(writes.begin(), writes.end(), "DONE\x04"), 0);
  EXPECT_EQ(bench.link.count("pipeDisconnect"), 0);
  EXPECT_TRUE(bench.link.connected);
  EXPECT_TRUE(bench.app.openFile.isOpen());
  EXPECT_EQ(bench.app.transferPhase, 1234);
}

TEST(SessionBatch, TheBatchEndsAfterFivePumpedSecondsWithDisconnect) {
  TransferBench bench;
  bench.prepare("A.BMP", "x", kBitmap);
  EXPECT_EQ(runTransferSession(bench.rt, bench.file), 0);
  const std::uint32_t doneReply = bench.link.timeOf("pipeRead", 12);  // params 9, type 1, loop 1, end 1, DONE
  const std::uint32_t disconnect = bench.link.timeOf("pipeDisconnect");
  EXPECT_GE(disconnect - doneReply, 5000u);
  EXPECT_LT(disconnect - doneReply, 5100u);
}

TEST(SessionTiming, PausesByWholeSeconds) {
  TransferBench bench;
  bench.clock.now = 10'700;  // 0.3 s before a whole second
  bench.prepare("A.BMP", "x", kBitmap);
  const int idleBefore = bench.link.idleCount;
  EXPECT_EQ(runTransferSession(bench.rt, bench.file), 0);
  EXPECT_GT(bench.link.idleCount, idleBefore);
  // Calculating starts right after the type token's reply; the length word goes out 2 to 3 s later.
  const std::uint32_t typeReply = bench.link.timeOf("pipeRead", 9);
  const std::uint32_t lengthWord = bench.link.timeOf("pipeWrite", 10);
  EXPECT_GE(lengthWord - typeReply, 2000u);
  EXPECT_LE(lengthWord - typeReply, 3100u);
  // One to two seconds between the final reply and the drain, without any message pump pass.
  const std::uint32_t finalReply = bench.link.timeOf("pipeRead", 11);
  const std::uint32_t done = bench.link.timeOf("pipeWrite", 12);
  EXPECT_GE(done - finalReply, 1000u);
  EXPECT_LE(done - finalReply, 2100u);
}

TEST(SessionStatus, StagesAndCountLinesAsTheUserSeesThem) {
  TransferBench bench;
  bench.prepare("A.PKG", k1234, kPackage);
  EXPECT_EQ(runTransferSession(bench.rt, bench.file), 0);
  auto sawStage = [&](const std::string& stage) {
    return std::any_of(bench.shell.statusLines.begin(), bench.shell.statusLines.end(),
                       [&](const std::string& line) { return line.rfind(stage + "  ", 0) == 0; });
  };
  EXPECT_TRUE(sawStage("Initiating Connection..."));
  EXPECT_TRUE(sawStage("Calculating file length..."));
  EXPECT_TRUE(sawStage("Sending Data..."));
  EXPECT_TRUE(sawStage("Disconnecting..."));
  const auto& counts = bench.shell.countLines;
  EXPECT_NE(std::find(counts.begin(), counts.end(), "Transferring byte 500 of 1234 (40%)"), counts.end());
  EXPECT_NE(std::find(counts.begin(), counts.end(), "Transferring byte 1000 of 1234 (81%)"), counts.end());
  EXPECT_NE(std::find(counts.begin(), counts.end(), "Transferring byte 1234 of 1234 (100%)"), counts.end());
  EXPECT_EQ(bench.shell.statusDialogsCreated, 1);
  EXPECT_TRUE(bench.shell.statusOpen()) << "it closes on its next tick";
  pumpFor(bench.rt, 600);
  EXPECT_FALSE(bench.shell.statusOpen());
  EXPECT_EQ(bench.app.bytesTotal, 1234);
}

TEST(SessionStatus, ProgressStopsAtTheTotalForExactly1000Bytes) {
  TransferBench bench;
  bench.prepare("A.BMP", k1000, kBitmap, "", false);
  EXPECT_EQ(runTransferSession(bench.rt, bench.file), 0);
  EXPECT_EQ(bench.app.transferPhase, 1000);
  const auto& counts = bench.shell.countLines;
  EXPECT_EQ(std::count(counts.begin(), counts.end(), "Transferring byte 1000 of 1000 (100%)"), 2)
      << "the third pass reads nothing and shows 1000 of 1000 again";
}

// --- the six endings ---------------------------------------------------------------------------------------

struct EndingCase {
  const char* label;
  std::int32_t kind;
  std::string header;
  std::function<void(TransferBench&)> arrange;
  newton::CompanionFaults faults;
  std::int32_t result;
  std::string box;            // empty: no message box
  std::int32_t phase;         // transferPhase afterwards
  bool fileOpenAfter;
  std::vector<std::string> lastWrites;  // the tail of what went out (empty: not checked)
};

class SessionEnding : public ::testing::TestWithParam<EndingCase> {};

// Read indices: 0 to 8 the parameter block, 9 the type token's reply, then the data phase.
// Write indices: 0 to 8 the parameter block, 9 the type token, 10 the length word.
TEST_P(SessionEnding, EndsItsOwnWay) {
  const EndingCase& c = GetParam();
  TransferBench bench(c.faults);
  bench.prepare("F.TXT", c.kind == kText ? "hello\r\n" : k1234, c.kind, c.header);
  if (c.arrange) c.arrange(bench);
  EXPECT_EQ(runTransferSession(bench.rt, bench.file), c.result);
  if (c.box.empty()) {
    EXPECT_TRUE(bench.shell.boxes.empty()) << bench.shell.boxes.front().text;
  } else {
    ASSERT_EQ(bench.shell.boxes.size(), 1u);
    EXPECT_EQ(bench.shell.boxes[0].text, c.box);
    EXPECT_EQ(bench.shell.boxes[0].caption, "Skiff");
    EXPECT_EQ(bench.shell.boxes[0].icon, BoxIcon::Information);
  }
  EXPECT_EQ(bench.app.transferPhase, c.phase);
  EXPECT_EQ(bench.app.openFile.isOpen(), c.fileOpenAfter);
  EXPECT_GE(bench.link.count("pipeDisconnect"), 1);
  if (!c.lastWrites.empty()) {
    const auto writes = writtenTexts(bench.link);
    ASSERT_GE(writes.size(), c.lastWrites.size());
    EXPECT_EQ(std::vector<std::string>(writes.end() - static_cast<long>(c.lastWrites.size()), writes.end()),
              c.lastWrites);
  }
}

const std::string kTimeoutText = "Timeout error.  (check your connection settings)";
const std::string kReadReturned = "Error.  Read returned ";
constexpr std::int16_t kTimeout = static_cast<std::int16_t>(code::kTimeout);
constexpr std::int16_t kLost = static_cast<std::int16_t>(code::kDisconnected);

newton::CompanionFaults wrongAt(int message) {
  newton::CompanionFaults f;
  f.wrongReplyAt = message;
  return f;
}

INSTANTIATE_TEST_SUITE_P(
    Endings, SessionEnding,
    ::testing::Values(
        EndingCase{"ParmWriteFailsReconnect", kBitmap, "", [](auto& b) { b.link.failWrite(0, kLost); }, {},
                   SESSION_RECONNECT, "", -1, true, {}},
        EndingCase{"TypeTokenWriteFailsReconnect", kBitmap, "", [](auto& b) { b.link.failWrite(9, kLost); }, {},
                   SESSION_RECONNECT, "", -1, true, {}},
        EndingCase{"TypeTokenReplyTimesOutTwiceReconnect", kBitmap, "",
                   [](auto& b) {
                     b.link.failRead(9, kTimeout);
                     b.link.failRead(10, kTimeout);
                   },
                   {}, SESSION_RECONNECT, "", -1, true, {"SBMP\x04"}},
        EndingCase{"TypeTokenRetryAnsweredButLinkLostReconnect", kBitmap, "",
                   [](auto& b) {
                     b.link.failRead(9, kTimeout);
                     b.link.stateAnswer = state::kLost;
                   },
                   {}, SESSION_RECONNECT, "", -1, true, {"SBMP\x04"}},
        EndingCase{"TypeTokenReplyOtherFailureReconnect", kBitmap, "", [](auto& b) { b.link.failRead(9, kLost); },
                   {}, SESSION_RECONNECT, "", -1, true, {"SBMP\x04"}},
        EndingCase{"ParameterReadTimesOut", kBitmap, "", [](auto& b) { b.link.failRead(1, kTimeout); }, {}, 0,
                   kReadReturned + kTimeoutText, -1, false, {"FILETYPE\x04"}},
        EndingCase{"ParameterWriteFails", kBitmap, "", [](auto& b) { b.link.failWrite(8, kLost); }, {}, 0,
                   kReadReturned + "Disconnection detected.", -1, false, {"FILENAME\x04"}},
        EndingCase{"HeaderReplyTimesOut", kText, "*DATES*\n", [](auto& b) { b.link.failRead(10, kTimeout); }, {},
                   0, kReadReturned + kTimeoutText, 0, false, {"SPIT\x04", be32(7)}},
        EndingCase{"DataReplyFailsAfterItsRetry", kBitmap, "",
                   [](auto& b) {
                     b.link.failRead(10, kTimeout);
                     b.link.failRead(11, kTimeout);
                   },
                   {}, 0, "Unexpected response.  Read returns:" + kTimeoutText, 0, false, {be32(1234)}},
        EndingCase{"LowerCaseOkIsABadReply", kBitmap, "", {}, wrongAt(12), 0, kReadReturned + "unknown error 0",
                   500, false, {}},
        EndingCase{"LengthWordWriteFails", kBitmap, "", [](auto& b) { b.link.failWrite(10, kLost); }, {},
                   code::kDisconnected, "", -1, true, {"SBMP\x04"}},
        EndingCase{"HeaderDataWriteFails", kText, "*TODO*\n", [](auto& b) { b.link.failWrite(11, kLost); }, {},
                   code::kDisconnected, "", -1, true, {}},
        EndingCase{"ChunkWriteFails", kBitmap, "", [](auto& b) { b.link.failWrite(12, kLost); }, {},
                   code::kDisconnected, "", -1, true, {}},
        EndingCase{"NextWriteFails", kText, "", [](auto& b) { b.link.failWrite(13, kLost); }, {},
                   code::kDisconnected, "", -1, true, {}},
        EndingCase{"FinalReplyFailsAfterItsRetry", kText, "",
                   [](auto& b) {
                     b.link.failRead(11, kTimeout);
                     b.link.failRead(12, kTimeout);
                   },
                   {}, code::kTimeout, "", -1, true, {"NEXT\x04"}},
        EndingCase{"DrainReadFails", kText, "", [](auto& b) { b.link.failRead(12, kLost); }, {},
                   code::kDisconnected, "", -1, true, {"NEXT\x04"}},
        EndingCase{"DoneWriteFails", kText, "", [](auto& b) { b.link.failWrite(14, kLost); }, {},
                   code::kDisconnected, "", -1, true, {"NEXT\x04"}},
        EndingCase{"DoneReplyFails", kText, "", [](auto& b) { b.link.failRead(13, kTimeout); }, {}, code::kTimeout,
                   "", -1, true, {"DONE\x04"}}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(SessionEndingDetail, ReconnectClosesTheStatusAndPumps200Ms) {
  TransferBench bench;
  bench.prepare("A.BMP", "x", kBitmap);
  bench.link.failWrite(0, kLost);
  const std::uint32_t before = bench.clock.now;
  EXPECT_EQ(runTransferSession(bench.rt, bench.file), SESSION_RECONNECT);
  EXPECT_FALSE(bench.shell.statusOpen());
  EXPECT_GE(bench.clock.now - before, 200u);
  const auto ops = bench.link.ops();
  ASSERT_GE(ops.size(), 2u);
  EXPECT_EQ(ops.back(), "pipeDisconnect");
}

TEST(SessionEndingDetail, ARetriedSessionStartsTheFileAfresh) {
  TransferBench bench;
  bench.prepare("A.PKG", k1234, kPackage);
  bench.app.openFile.read(std::vector<char>(700).data(), 700);  // an earlier attempt got this far
  EXPECT_EQ(runTransferSession(bench.rt, bench.file), 0);
  ASSERT_EQ(bench.received.size(), 1u);
  EXPECT_EQ(std::string(bench.received[0].bytes.begin(), bench.received[0].bytes.end()), k1234);
}

TEST(SessionEndingDetail, PendingInputIsDrainedBeforeTheParameters) {
  TransferBench bench;
  bench.prepare("A.BMP", "x", kBitmap);
  bench.link.queueInput(std::string(1500, 'j'));
  EXPECT_EQ(runTransferSession(bench.rt, bench.file), 0);
  const auto& calls = bench.link.calls;
  ASSERT_GE(calls.size(), 4u);
  EXPECT_EQ(calls[0].op, "pipeBytesAvailable");
  EXPECT_EQ(calls[0].length, 1500);
  EXPECT_EQ(calls[1].op, "pipeRead");
  EXPECT_EQ(calls[1].length, 1024) << "drained in pieces no larger than the buffer";
  EXPECT_EQ(calls[2].op, "pipeRead");
  EXPECT_EQ(calls[2].length, 476);
  EXPECT_EQ(calls[3].op, "pipeWrite");
  EXPECT_EQ(bench.received.size(), 1u);
}

TEST(SessionEndingDetail, AnOutputQueueThatNeverEmptiesDoesNotHang) {
  TransferBench bench;
  bench.prepare("A.BMP", "x", kBitmap);
  bench.link.outputPendingAnswer = 10;
  EXPECT_EQ(runTransferSession(bench.rt, bench.file), 0);
  EXPECT_EQ(bench.received.size(), 1u);
}


// --- refused parts: the wire stays as it is, the file counts as incomplete ------------------------------------

struct RefusalCase {
  const char* label;
  std::int32_t kind;
  std::string header;
  std::string file;
  int refuseChunk;  // the companion's data message to answer "NO" (0: none)
  std::int32_t refused, parts;
};

class SessionRefusals : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(SessionRefusals, CountsEachPartAnsweredNo) {
  const RefusalCase& c = GetParam();
  newton::CompanionFaults faults;
  faults.refuseChunk = c.refuseChunk;
  TransferBench bench(faults);
  bench.prepare("F.BIN", c.file, c.kind, c.header);
  EXPECT_EQ(runTransferSession(bench.rt, bench.file), 0);
  EXPECT_TRUE(bench.shell.boxes.empty()) << "reported by the command once the link is down";
  const BatchProgress& progress = bench.app.batch;
  EXPECT_EQ(progress.filesSent, 1);
  if (c.refused == 0) {
    EXPECT_TRUE(progress.incomplete.empty());
    return;
  }
  ASSERT_EQ(progress.incomplete.size(), 1u);
  EXPECT_EQ(progress.incomplete[0].name, "F.BIN");
  EXPECT_EQ(progress.incomplete[0].refused, c.refused);
  EXPECT_EQ(progress.incomplete[0].parts, c.parts);
}

INSTANTIATE_TEST_SUITE_P(
    Refusals, SessionRefusals,
    ::testing::Values(RefusalCase{"NoneRefused", kBitmap, "", k1234, 0, 0, 3},
                      RefusalCase{"MiddleChunk", kBitmap, "", k1234, 2, 1, 3},
                      RefusalCase{"LastChunkAnsweredAfterTheLoop", kBitmap, "", k1234, 3, 1, 3},
                      RefusalCase{"LastChunkOfExactly1000Bytes", kBitmap, "", binary(1000), 2, 1, 2},
                      RefusalCase{"TheTextHeader", kText, "*TODO*\n", "hello\r\n", 1, 1, 2},
                      RefusalCase{"LastTextBlockAnsweredWithNext", kText, "", std::string(600, 't'), 2, 1, 2}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(SessionProgress, ADeliveredFileCountsItsDataBytes) {
  TransferBench bench;
  bench.prepare("N.TXT", "a\r\nb\r\n", kText, "*TODO*\n");
  EXPECT_EQ(runTransferSession(bench.rt, bench.file), 0);
  EXPECT_EQ(bench.app.batch.filesSent, 1);
  EXPECT_EQ(bench.app.batch.bytesSent, 4) << "the characters sent, the header not counted";
}

// --- a file whose data falls short of its announced length ----------------------------------------------------

// Runs `change` on the file right after the length word went out (write index 10).
void afterLengthWord(TransferBench& bench, std::function<void()> change) {
  auto feed = bench.link.onWrite;
  auto writes = std::make_shared<int>(0);
  bench.link.onWrite = [feed, writes, change](test::ScriptedLink& link, const Bytes& written, bool end) {
    feed(link, written, end);
    if ((*writes)++ == 10) change();
  };
}

// The file shrinks once its length is announced. The stream has read ahead what its buffer holds (that much
// was there when the length was announced); the next bytes it fetches are missing.
struct ShrinkCase {
  const char* label;
  const char* name;
  std::int32_t kind;
  std::string file;
  std::uintmax_t shrunkTo;
  std::string lastWrite;  // the last message that went out
  std::string report;
};

class SessionShrinks : public ::testing::TestWithParam<ShrinkCase> {};

TEST_P(SessionShrinks, TheFileEndsWithAReportAndIsNeverPadded) {
  const ShrinkCase& c = GetParam();
  TransferBench bench;
  bench.prepare(c.name, c.file, c.kind);
  const std::string path = bench.dir.path() + "/" + c.name;
  afterLengthWord(bench, [&] { std::filesystem::resize_file(path, c.shrunkTo); });
  EXPECT_EQ(runTransferSession(bench.rt, bench.file), 0);
  ASSERT_EQ(bench.shell.boxes.size(), 1u);
  EXPECT_EQ(bench.shell.boxes[0].text, c.report);
  EXPECT_EQ(writtenTexts(bench.link).back(), c.lastWrite) << "the short rest is not sent, nor anything after it";
  EXPECT_EQ(bench.link.ops().back(), "pipeDisconnect");
  EXPECT_FALSE(bench.app.openFile.isOpen());
  EXPECT_TRUE(bench.received.empty());
  EXPECT_EQ(bench.app.batch.filesSent, 0);
}

const std::string k20000 = binary(20000);

INSTANTIATE_TEST_SUITE_P(
    Shrinks, SessionShrinks,
    ::testing::Values(ShrinkCase{"Bitmap", "SHRINK.BMP", kBitmap, k20000, 8197, k20000.substr(7500, 500),
                                 "Incomplete file: SHRINK.BMP ended after 8197 of its 20000 bytes."},
                      ShrinkCase{"Text", "NOTE.TXT", kText, std::string(9000, 'n'), 6000, std::string(500, 'n') + "\x04",
                                 "Incomplete file: NOTE.TXT ended after 6000 of its 9000 bytes."}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(SessionShortfall, AFileThatGrowsSendsNoMoreThanWasAnnounced) {
  TransferBench bench;
  bench.prepare("GROW.BMP", binary(10000), kBitmap);
  const std::string path = bench.dir.path() + "/GROW.BMP";
  afterLengthWord(bench, [&] { std::ofstream(path, std::ios::binary | std::ios::app) << std::string(3000, 'g'); });
  EXPECT_EQ(runTransferSession(bench.rt, bench.file), 0);
  EXPECT_TRUE(bench.shell.boxes.empty());
  ASSERT_EQ(bench.received.size(), 1u);
  EXPECT_EQ(test::textOf(bench.received[0].bytes), binary(10000));
  EXPECT_EQ(bench.batchesDone, 1);
}
}  // namespace
}  // namespace skiff
