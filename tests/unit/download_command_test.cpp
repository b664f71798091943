#include "transfer/download_command.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/unit/transfer_harness.h"
#include "transfer/classify.h"

namespace skiff {
namespace {

using test::TransferBench;

std::vector<std::string> writtenTexts(const test::ScriptedLink& link) {
  std::vector<std::string> out;
  for (const auto& bytes : link.written()) out.push_back(test::textOf(bytes));
  return out;
}

int countOf(const std::vector<std::string>& v, const std::string& s) {
  return static_cast<int>(std::count(v.begin(), v.end(), s));
}

struct DownloadFixture : ::testing::Test {
  TransferBench bench;
  Runtime& rt = bench.rt;

  SelectedFile file(const std::string& name, const std::string& bytes) { return {bench.dir.file(name, bytes), name}; }
  SelectedFile missing(const std::string& name) { return {bench.dir.path() + "/" + name, name}; }
  DownloadSelection batch(std::vector<SelectedFile> files) { return {true, std::move(files)}; }
  std::vector<std::string> boxTexts() const {
    std::vector<std::string> out;
    for (const auto& box : bench.shell.boxes) out.push_back(box.text);
    return out;
  }
  std::vector<std::string> names() const {
    std::vector<std::string> out;
    for (const auto& f : bench.received) out.push_back(f.name);
    return out;
  }
};

TEST_F(DownloadFixture, TheDialogAsksForOneOrMoreFiles) {
  EXPECT_EQ(runDownloadCommand(rt), 0);  // cancelled: nothing else happens
  ASSERT_EQ(bench.shell.fileRequests.size(), 1u);
  const OpenFileRequest& request = bench.shell.fileRequests[0];
  EXPECT_EQ(request.title, "Choose file(s) to download");
  using Filter = std::pair<std::string, std::string>;
  EXPECT_EQ(request.filters, (std::vector<Filter>{{"Text Files (*.TXT)", "*.TXT"},
                                                   {"Bitmap Files (*.BMP)", "*.BMP"},
                                                   {"All Files (*.*)", "*.*"}}));
  EXPECT_EQ(request.defaultExtension, "TXT");
  EXPECT_EQ(request.initialName, "untitled");
  EXPECT_TRUE(request.multiSelect);
  EXPECT_EQ(bench.link.count("CDPipeInit"), 0);
  EXPECT_EQ(bench.shell.connectionDialogs, 0);
}

// On this system a backslash is an ordinary file-name byte, so the dialog's Windows shape can name real files.
TEST_F(DownloadFixture, OneFileFromTheDialogIsClassifiedConnectedAndSent) {
  bench.dir.file("notes\\todo.txt", "buy rope\r\n");
  OpenFileResult chosen;
  chosen.buffer = bench.dir.path() + "/notes\\todo.txt";
  chosen.fileOffset = chosen.buffer.size() - 8;
  chosen.title = "todo.txt";
  bench.shell.fileChoices.push_back(chosen);
  bench.app.abortRequested = true;

  EXPECT_EQ(runDownloadCommand(rt), 0);
  EXPECT_FALSE(bench.app.abortRequested) << "cleared when the command starts";
  EXPECT_EQ(bench.app.currentPath, upperCased(chosen.buffer));
  ASSERT_EQ(bench.received.size(), 1u);
  EXPECT_EQ(bench.received[0].typeToken, "SPIT");
  EXPECT_EQ(bench.received[0].name, "todo.txt");
  EXPECT_EQ(bench.received[0].header, "*TODO*\n");
  EXPECT_EQ(std::string(bench.received[0].bytes.begin(), bench.received[0].bytes.end()), "*TODO*\nbuy rope\r");
  EXPECT_EQ(bench.received[0].typeValue, "WINDOWS");  // its EOT byte ends the value
  EXPECT_EQ(bench.received[0].creatorValue, "WINDOWS");
  ASSERT_EQ(bench.link.count("CDPipeInit"), 1);
  EXPECT_EQ(bench.link.calls[0].config, "COM1:19200,n,8,1|COM1");
  EXPECT_EQ(bench.shell.connectionDialogs, 1);
  EXPECT_TRUE(bench.shell.boxes.empty());
}

TEST_F(DownloadFixture, SeveralFilesFromTheDialogGoOverOneConnection) {
  bench.dir.file("d\\A.TXT", "a");
  bench.dir.file("d\\B.BMP", "bb");
  OpenFileResult chosen;
  chosen.buffer = bench.dir.path() + "/d" + '\0';
  chosen.fileOffset = chosen.buffer.size();
  chosen.buffer += std::string("A.TXT") + '\0' + "B.BMP" + '\0' + '\0';
  bench.shell.fileChoices.push_back(chosen);
  EXPECT_EQ(runDownloadCommand(rt), 0);
  EXPECT_EQ(names(), (std::vector<std::string>{"A.TXT", "B.BMP"}));
  EXPECT_EQ(bench.shell.connectionDialogs, 1);
  EXPECT_EQ(countOf(writtenTexts(bench.link), "DONE\x04"), 1);
  EXPECT_EQ(bench.batchesDone, 1);
}

TEST_F(DownloadFixture, OneFileThatCannotBeOpened) {
  EXPECT_EQ(runDownloadSelection(rt, {false, {missing("GONE.TXT")}}), 0);
  EXPECT_EQ(boxTexts(), std::vector<std::string>{"Could not open file"});
  EXPECT_EQ(bench.link.count("CDPipeInit"), 0);
}

TEST_F(DownloadFixture, StoppingTheWaitForOneFileShowsNothing) {
  bench.shell.connectionAnswers = {2};
  EXPECT_EQ(runDownloadSelection(rt, {false, {file("A.TXT", "a")}}), 0);
  EXPECT_TRUE(bench.shell.boxes.empty());
  EXPECT_FALSE(bench.app.openFile.isOpen());
  EXPECT_EQ(bench.link.count("pipeWrite"), 0);
}

TEST_F(DownloadFixture, AConfigurationFailureIsShownAndReturned) {
  bench.link.initResult = code::kPortUnavailable;
  EXPECT_EQ(runDownloadSelection(rt, {false, {file("A.TXT", "a")}}), code::kPortUnavailable);
  EXPECT_EQ(boxTexts(), std::vector<std::string>{"Error: CDPipeInit error ... err -97"});
  EXPECT_EQ(bench.shell.boxes[0].icon, BoxIcon::Warning);
  EXPECT_FALSE(bench.app.openFile.isOpen());
  EXPECT_EQ(bench.shell.connectionDialogs, 0);
}

TEST_F(DownloadFixture, AReconnectResultConnectsAgainAndSendsTheSameFile) {
  bench.link.failWrite(0, static_cast<std::int16_t>(code::kDisconnected));
  bench.shell.onConnectionDialog = [this] { bench.link.connected = true; };
  EXPECT_EQ(runDownloadSelection(rt, {false, {file("A.BMP", "bitmap")}}), 0);
  EXPECT_EQ(bench.link.count("CDPipeInit"), 2);
  EXPECT_EQ(bench.shell.connectionDialogs, 2);
  ASSERT_EQ(bench.received.size(), 1u);
  EXPECT_EQ(std::string(bench.received[0].bytes.begin(), bench.received[0].bytes.end()), "bitmap");
}

TEST_F(DownloadFixture, AListenFailureThatPersistsEndsTheCommandWithItsCode) {
  bench.shell.connectionAnswers = {code::kNotReady, code::kNotReady, code::kNotReady, 5};
  EXPECT_EQ(runDownloadSelection(rt, {false, {file("A.TXT", "a")}}), code::kNotReady);
  EXPECT_EQ(bench.shell.connectionDialogs, kListenAttempts);
  EXPECT_EQ(bench.link.count("pipeWrite"), 0);
  EXPECT_FALSE(bench.app.openFile.isOpen());
}

TEST_F(DownloadFixture, AListenFailureThatPassesIsRetried) {
  bench.shell.connectionAnswers = {code::kNotReady, 5};
  EXPECT_EQ(runDownloadSelection(rt, {false, {file("A.TXT", "a")}}), 0);
  EXPECT_EQ(bench.received.size(), 1u);
}

TEST_F(DownloadFixture, TheLinkStatusEndingLeavesNoFileOpen) {
  bench.link.failWrite(10, static_cast<std::int16_t>(code::kDisconnected));  // the length word
  EXPECT_EQ(runDownloadSelection(rt, {false, {file("A.BMP", "x")}}), code::kDisconnected);
  EXPECT_FALSE(bench.app.openFile.isOpen());
}

TEST_F(DownloadFixture, ABatchSkipsAFileThatCannotBeOpened) {
  EXPECT_EQ(runDownloadSelection(rt, batch({file("A.TXT", "a"), missing("b.txt"), file("C.PIC", "c")})), 0);
  EXPECT_EQ(boxTexts(), std::vector<std::string>{"Cannot open file" + upperCased(bench.dir.path() + "/b.txt")});
  EXPECT_EQ(names(), (std::vector<std::string>{"A.TXT", "C.PIC"}));
  EXPECT_EQ(bench.shell.connectionDialogs, 1);
  EXPECT_EQ(bench.shell.statusDialogsCreated, 2);
  EXPECT_EQ(countOf(writtenTexts(bench.link), "DONE\x04"), 1);
  EXPECT_EQ(bench.link.count("pipeDisconnect"), 1);
}

TEST_F(DownloadFixture, ABatchWhoseLastFileCannotBeOpenedStillEndsWithDone) {
  EXPECT_EQ(runDownloadSelection(rt, batch({file("A.BMP", "a"), missing("Z.BMP")})), 0);
  EXPECT_EQ(names(), std::vector<std::string>{"A.BMP"});
  const auto writes = writtenTexts(bench.link);
  EXPECT_EQ(writes.back(), "DONE\x04");
  EXPECT_EQ(countOf(writes, "PARM\x04"), 3) << "nothing about the missing file is sent";
  EXPECT_EQ(bench.batchesDone, 1);
}

TEST_F(DownloadFixture, ABatchWhoseFirstFileCannotBeOpenedStillConnects) {
  EXPECT_EQ(runDownloadSelection(rt, batch({missing("A.TXT"), file("B.TXT", "b"), file("C.TXT", "c")})), 0);
  EXPECT_EQ(bench.shell.connectionDialogs, 1);
  EXPECT_EQ(names(), (std::vector<std::string>{"B.TXT", "C.TXT"}));
}

TEST_F(DownloadFixture, StoppingTheWaitForABatchSaysSo) {
  bench.shell.connectionAnswers = {2};
  EXPECT_EQ(runDownloadSelection(rt, batch({file("A.TXT", "a"), file("B.TXT", "b")})), 0);
  EXPECT_EQ(boxTexts(), std::vector<std::string>{"Operation cancelled by user"});
  EXPECT_FALSE(bench.app.openFile.isOpen());
}

TEST_F(DownloadFixture, AFileOfTheBatchIsClosedBeforeTheNextOpens) {
  EXPECT_EQ(runDownloadSelection(rt, batch({file("A.BMP", "a"), file("B.BMP", "b")})), 0);
  EXPECT_FALSE(bench.app.openFile.isOpen());
  EXPECT_EQ(names(), (std::vector<std::string>{"A.BMP", "B.BMP"}));
  EXPECT_EQ(bench.app.fileName, "B.BMP");
}

TEST_F(DownloadFixture, ALinkStatusResultEndsTheBatch) {
  bench.link.failWrite(10, static_cast<std::int16_t>(code::kDisconnected));  // the first file's length word
  EXPECT_EQ(runDownloadSelection(rt, batch({file("A.BMP", "a"), file("B.BMP", "b")})), code::kDisconnected);
  EXPECT_TRUE(bench.received.empty());
  EXPECT_FALSE(bench.app.openFile.isOpen());
}

TEST_F(DownloadFixture, AnErrorReportLetsTheBatchGoOnOverANewConnection) {
  // The first file's bad reply is reported; the next file finds the pipe down, its session asks for a new
  // connection, and it is sent over that.
  int connections = 0;
  bench.shell.onConnectionDialog = [&] {
    // Each connection meets a fresh companion; the first one answers "ok" to the first file's first chunk.
    newton::CompanionFaults faults;
    if (connections++ == 0) faults.wrongReplyAt = 12;
    bench.companion = newton::CompanionProtocol(faults);
    bench.link.connected = true;
  };
  EXPECT_EQ(runDownloadSelection(rt, batch({file("A.BMP", std::string(600, 'f')), file("B.BMP", "second")})), 0);
  EXPECT_EQ(boxTexts(), std::vector<std::string>{"Error.  Read returned unknown error 0"});
  EXPECT_EQ(bench.shell.connectionDialogs, 2);
  ASSERT_FALSE(bench.received.empty());
  EXPECT_EQ(bench.received.back().name, "B.BMP");
  EXPECT_EQ(std::string(bench.received.back().bytes.begin(), bench.received.back().bytes.end()), "second");
}

TEST_F(DownloadFixture, ALongPathAndNameGoWhole) {
  const std::string name = std::string(200, 'n') + ".BMP";
  const std::string longDir = bench.dir.path() + "/" + std::string(200, 'd') + "/" + std::string(200, 'e') + "/" +
                              std::string(200, 'f');
  std::filesystem::create_directories(longDir);
  const std::string path = longDir + "/" + name;
  std::ofstream(path, std::ios::binary) << "pic";
  const std::string announced = std::string(766, 'N');  // the most a 768-byte name buffer holds
  EXPECT_EQ(runDownloadSelection(rt, {false, {{path, announced}}}), 0);
  EXPECT_GT(bench.app.currentPath.size(), 767u);
  ASSERT_EQ(bench.received.size(), 1u);
  EXPECT_EQ(bench.received[0].name, announced);
  EXPECT_EQ(bench.received[0].typeToken, "SBMP");
}


// Only regular files go, whichever front end offers the path: anything else is skipped as a file that cannot
// be opened (a FIFO would otherwise hold the command before anything shows).
TEST_F(DownloadFixture, ADirectoryOrFifoInABatchIsSkippedAsUnopenable) {
  const std::string folder = bench.dir.path() + "/sub";
  const std::string fifo = bench.dir.path() + "/pipe";
  std::filesystem::create_directories(folder);
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(runDownloadSelection(rt, batch({file("A.TXT", "a"), {folder, "sub"}, {fifo, "pipe"}, file("C.BMP", "c")})),
            0);
  EXPECT_EQ(boxTexts(), (std::vector<std::string>{"Cannot open file" + upperCased(folder),
                                                  "Cannot open file" + upperCased(fifo)}));
  EXPECT_EQ(names(), (std::vector<std::string>{"A.TXT", "C.BMP"}));
}

TEST_F(DownloadFixture, OneDirectoryIsNotSent) {
  EXPECT_EQ(runDownloadSelection(rt, {false, {{bench.dir.path(), "dir"}}}), 0);
  EXPECT_EQ(boxTexts(), std::vector<std::string>{"Could not open file"});
  EXPECT_EQ(bench.link.count("CDPipeInit"), 0);
}

TEST_F(DownloadFixture, RefusedPartsAreReportedOnceTheBatchIsOver) {
  newton::CompanionFaults faults;
  faults.refuseChunk = 2;  // the first file's second chunk
  bench.companion = newton::CompanionProtocol(faults);
  int boxesWhileConnected = -1;
  auto feed = bench.link.onWrite;
  bench.link.onWrite = [&, feed](test::ScriptedLink& link, const test::Bytes& written, bool end) {
    feed(link, written, end);
    boxesWhileConnected = static_cast<int>(bench.shell.boxes.size());
  };
  EXPECT_EQ(runDownloadSelection(rt, batch({file("A.BMP", std::string(1200, 'a')), file("B.TXT", "bee")})), 0);
  EXPECT_EQ(boxesWhileConnected, 0) << "no box while the link was up";
  EXPECT_EQ(boxTexts(), std::vector<std::string>{"Incomplete file: the Newton refused 1 of 3 parts of A.BMP."});
  const BatchProgress& progress = bench.app.batch;
  EXPECT_EQ(progress.fileCount, 2);
  EXPECT_EQ(progress.fileNumber, 2);
  EXPECT_EQ(progress.filesSent, 2);
  EXPECT_EQ(progress.bytesSent, 1203);
}

TEST_F(DownloadFixture, EachCommandStartsItsProgressAfresh) {
  EXPECT_EQ(runDownloadSelection(rt, {false, {file("A.BMP", "aa")}}), 0);
  bench.companion = newton::CompanionProtocol();  // a fresh connection to a fresh companion
  bench.link.connected = true;
  EXPECT_EQ(runDownloadSelection(rt, {false, {file("B.BMP", "b")}}), 0);
  EXPECT_EQ(bench.app.batch.filesSent, 1);
  EXPECT_EQ(bench.app.batch.bytesSent, 1);
  EXPECT_EQ(bench.app.batch.fileCount, 1);
}

// A stop asked for while the n-th file's type token goes (its opening phase): the command line lets that file
// finish, starts no further one and ends the batch with "DONE"; the Windows program's batch runs on.
struct StopCase {
  const char* label;
  bool stopBetweenFiles;
  int stopAtTypeToken;
  std::vector<std::string> sent;
  std::vector<std::string> notSent;
};

class StopDuringABatch : public DownloadFixture, public ::testing::WithParamInterface<StopCase> {};

TEST_P(StopDuringABatch, FinishesTheFileAndStartsNoOther) {
  const StopCase& c = GetParam();
  bench.app.stopBetweenFiles = c.stopBetweenFiles;
  int typeTokens = 0;
  auto feed = bench.link.onWrite;
  bench.link.onWrite = [&, feed](test::ScriptedLink& link, const test::Bytes& written, bool end) {
    feed(link, written, end);
    if (test::textOf(written) == "SBMP\x04" && ++typeTokens == c.stopAtTypeToken) bench.app.abortRequested = true;
  };
  EXPECT_EQ(runDownloadSelection(
                rt, batch({file("A.BMP", std::string(700, 'a')), file("B.BMP", std::string(1200, 'b')),
                           file("C.BMP", "c")})),
            0);
  EXPECT_EQ(names(), c.sent) << c.label;
  EXPECT_EQ(bench.app.batch.notSent, c.notSent) << c.label;
  EXPECT_EQ(countOf(writtenTexts(bench.link), "DONE\x04"), 1) << c.label;
  EXPECT_EQ(bench.batchesDone, 1) << c.label;
  EXPECT_EQ(bench.link.count("pipeDisconnect"), 1) << c.label;
  EXPECT_TRUE(bench.shell.boxes.empty()) << c.label;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StopDuringABatch,
    ::testing::Values(StopCase{"SecondOfThree", true, 2, {"A.BMP", "B.BMP"}, {"C.BMP"}},
                      StopCase{"FirstOfThree", true, 1, {"A.BMP"}, {"B.BMP", "C.BMP"}},
                      StopCase{"LastLeavesNothingUnsent", true, 3, {"A.BMP", "B.BMP", "C.BMP"}, {}},
                      StopCase{"TheWindowsBatchRunsOn", false, 2, {"A.BMP", "B.BMP", "C.BMP"}, {}}),
    [](const auto& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace skiff
