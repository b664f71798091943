#include <gtest/gtest.h>

#include "package/package_command.h"
#include "tests/support/fake_shell.h"
#include "tests/support/scripted_link.h"
#include "tests/support/dock_behind_link.h"
#include "tests/support/engine_world.h"

namespace skiff {
namespace {

using test::Bytes;
using test::bytesOf;

struct CommandFixture : ::testing::Test, test::EngineWorld {
  test::TempPackage package{3000, "command"};
  test::DockBehindLink dock;

  void SetUp() override {
    app.pipe = link.pipeCreate();
    app.settings.packageBaud = 9600;
    app.settings.portName = "COM2";
    dock.installsAnything = true;
  }
  void choose(const std::string& path) {
    OpenFileResult chosen;
    chosen.buffer = path;
    chosen.fileOffset = path.rfind('/') + 1;
    shell.fileChoices.push_back(chosen);
  }
  Bytes packageBytesSent() const {
    Bytes out;
    for (const auto& call : link.calls)
      if (call.op == "pipeWrite" && call.async) out.insert(out.end(), call.bytes.begin(), call.bytes.end());
    return out;
  }
};

TEST_F(CommandFixture, AsksForOnePackageFile) {
  EXPECT_EQ(runPackageCommand(rt), 0);  // cancelled
  ASSERT_EQ(shell.fileRequests.size(), 1u);
  const OpenFileRequest& r = shell.fileRequests[0];
  EXPECT_EQ(r.title, "Choose package file to download");
  EXPECT_EQ(r.filters, (std::vector<std::pair<std::string, std::string>>{{"Package Files (*.PKG)", "*.PKG"},
                                                                         {"All Files (*.*)", "*.*"}}));
  EXPECT_EQ(r.defaultExtension, "PKG");
  EXPECT_EQ(r.initialName, "untitled");
  EXPECT_FALSE(r.multiSelect);
  EXPECT_EQ(link.count("CDPipeInit"), 0);
}

TEST_F(CommandFixture, UnopenableFileIsReportedAndNothingConnects) {
  choose("/nonexistent/dir/NOPE.PKG");
  EXPECT_EQ(runPackageCommand(rt), 0);
  ASSERT_EQ(shell.boxes.size(), 1u);
  EXPECT_EQ(shell.boxes[0].text, "Could not open file");
  EXPECT_EQ(link.count("CDPipeInit"), 0);
}

TEST_F(CommandFixture, InstallsAtThePackageSpeed) {
  choose(package.path());
  dock.attach(link);
  EXPECT_EQ(runPackageCommand(rt), 0);
  ASSERT_EQ(link.count("CDPipeInit"), 1);
  EXPECT_EQ(link.calls[1].config, "COM2:9600,n,8,1|COM2");
  EXPECT_EQ(packageBytesSent(), package.bytes());
  EXPECT_TRUE(app.fileOpened);
  EXPECT_FALSE(app.openFile.isOpen());
}

TEST_F(CommandFixture, BadPortReportsOnceAndClosesTheFile) {
  choose(package.path());
  link.initResult = code::kPortUnavailable;
  EXPECT_EQ(runPackageCommand(rt), code::kPortUnavailable);
  ASSERT_EQ(shell.boxes.size(), 1u);
  EXPECT_EQ(shell.boxes[0].text, "Error: CDPipeInit error ... err -97");
  EXPECT_EQ(shell.connectionDialogs, 0);
  EXPECT_FALSE(app.openFile.isOpen());
}

TEST_F(CommandFixture, StopClosesTheFileAndShowsNothing) {
  choose(package.path());
  shell.connectionAnswers = {2};
  EXPECT_EQ(runPackageCommand(rt), 0);
  EXPECT_TRUE(shell.boxes.empty());
  EXPECT_EQ(link.count("pipeRead"), 0);
  EXPECT_FALSE(app.openFile.isOpen());
}

TEST_F(CommandFixture, ListenFailureEndsTheCommandWithItsCode) {
  choose(package.path());
  shell.connectionAnswers = {static_cast<int>(code::kNotReady), static_cast<int>(code::kNotReady)};
  EXPECT_EQ(runPackageCommand(rt), code::kNotReady);
  EXPECT_EQ(shell.connectionDialogs, 1);
  EXPECT_EQ(link.count("pipeRead"), 0);
  EXPECT_FALSE(app.openFile.isOpen());
}

TEST_F(CommandFixture, WrongOpeningFrameReconnectsAndSendsTheWholePackage) {
  choose(package.path());
  dock.attach(link, newton::DockFaults{}, false);
  int dialogs = 0;
  shell.onConnectionDialog = [&] {
    link.connected = true;
    link.pipeFlush(app.pipe, side::kInput);  // a new connection starts with nothing received
    if (++dialogs == 1) {
      link.queueInput(dock::encodeFrame("helo", {}));  // not the opening frame
    } else {
      std::uint8_t some[100];
      app.openFile.read(some, sizeof some);  // whatever moved the file, every attempt starts at its first byte
      link.queueInput(dock::encodeLongFrame("rtdk", 9));
    }
  };
  EXPECT_EQ(runPackageCommand(rt), 0);
  EXPECT_EQ(shell.connectionDialogs, 2);
  EXPECT_EQ(link.count("CDPipeInit"), 2);
  EXPECT_EQ(packageBytesSent(), package.bytes());
  EXPECT_TRUE(shell.boxes.empty());
}

TEST_F(CommandFixture, AnEarlierAbortDoesNotStopTheNextInstall) {
  choose(package.path());
  dock.attach(link);
  app.abortRequested = true;  // left over from an aborted transfer
  EXPECT_EQ(runPackageCommand(rt), 0);
  EXPECT_EQ(packageBytesSent(), package.bytes());
}

TEST_F(CommandFixture, RefusalByTheNewtonFailsTheCommand) {
  choose(package.path());
  newton::DockFaults faults;
  faults.result = -10401;
  dock.attach(link, faults);
  EXPECT_EQ(runPackageCommand(rt), code::kAborted);
  ASSERT_EQ(shell.boxes.size(), 1u);
  EXPECT_EQ(shell.boxes[0].text, "Process aborted by Newton. -10401 (bad package)");
}

}  // namespace
}  // namespace skiff
