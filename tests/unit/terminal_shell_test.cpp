// The terminal's status line: what a user's terminal receives when status lines, batch names and reports meet.
#include "cli/terminal_shell.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <tuple>

#include "core/texts.h"
#include "tests/support/engine_world.h"

namespace skiff::cli {
namespace {

// Status and messages go to one terminal, as they do when both are stderr.
struct TerminalFixture : ::testing::Test, test::EngineWorld {
  std::FILE* terminal = std::tmpfile();
  TerminalShell shell{app, link, terminal, terminal, true};

  ~TerminalFixture() override { std::fclose(terminal); }
  std::string screen() {
    std::fflush(terminal);
    std::rewind(terminal);
    std::string text;
    for (int c; (c = std::fgetc(terminal)) != EOF;) text += static_cast<char>(c);
    return text;
  }
  void showProgress(std::int32_t phase, std::int32_t total) {
    app.transferPhase = phase;
    app.bytesTotal = total;
    setStatusText(app, TextId::SendingData);
    shell.showStatusNow();
  }
  void startFile(const char* name, int number, int count, bool opened = true) {
    app.fileName = name;
    app.fileOpened = opened;
    app.batch.fileNumber = number;
    app.batch.fileCount = count;
    shell.openStatus();
  }
};

TEST_F(TerminalFixture, TheStatusLineEndsBeforeAReportAndBeforeWhateverComesAfterTheCommand) {
  startFile("a.bmp", 1, 1);
  showProgress(500, 1000);
  ShowMessage(shell, "Incomplete file");
  showProgress(1000, 1000);
  shell.endStatusLine();
  shell.endStatusLine();  // a second end adds nothing
  EXPECT_EQ(screen(),
            "\r\x1b[KSending Data...  |   Transferring byte 500 of 1000 (50%) [###############---------------]\n"
            "Incomplete file\n"
            "\r\x1b[KSending Data...  /   Transferring byte 1000 of 1000 (100%) [##############################]\n");
}

TEST_F(TerminalFixture, ABatchNamesEachFileOnceAsItStarts) {
  startFile("todo.txt", 1, 3);
  showProgress(10, 10);
  startFile("todo.txt", 1, 3);  // the same file again after a reconnect
  startFile("sea.bmp", 2, 3);
  startFile("gone.txt", 3, 3, false);  // the session that only ends the batch
  const std::string text = screen();
  EXPECT_EQ(text.rfind("todo.txt (1 of 3)\n", 0), 0u) << text;
  EXPECT_NE(text.find("(100%) [##############################]\nsea.bmp (2 of 3)\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("todo.txt (1 of 3)", 1), std::string::npos) << text;
  EXPECT_EQ(text.find("gone.txt"), std::string::npos) << text;
}

TEST_F(TerminalFixture, OneFileIsNotNumbered) {
  startFile("todo.txt", 1, 1);
  EXPECT_EQ(screen(), "");
}

// The first Ctrl-C: a request to stop while bytes are counted; while a file sets up, only the batch that
// stops between files takes it as one (its file then runs to its end); otherwise the command ends.
TEST(FirstPress, MeansWhatThePhaseAndTheCommandSay) {
  using P = FirstPress;
  // (transferPhase, stopBetweenFiles) -> what the press means
  const std::tuple<std::int32_t, bool, P> rows[] = {{-1, false, P::Quit}, {-1, true, P::Quit},
                                                    {0, false, P::Quit},  {0, true, P::AskToStop},
                                                    {1, false, P::AskToStop}, {500, true, P::AskToStop}};
  for (const auto& [phase, stopBetweenFiles, means] : rows) {
    AppState app;
    app.transferPhase = phase;
    app.stopBetweenFiles = stopBetweenFiles;
    EXPECT_EQ(firstPressMeans(app), means) << phase << " " << stopBetweenFiles;
  }
}

}  // namespace
}  // namespace skiff::cli
