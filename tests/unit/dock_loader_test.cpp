// The desktop's loader against the simulated Newton's dock, joined in memory through the scripted link.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "newton/dock_protocol.h"
#include "package/package_command.h"
#include "package/package_loader.h"
#include "tests/support/fake_shell.h"
#include "tests/support/sample_package.h"
#include "tests/support/scripted_link.h"
#include "tests/support/dock_behind_link.h"
#include "tests/support/engine_world.h"

namespace skiff {
namespace {

using test::Bytes;

class FileOf {
 public:
  explicit FileOf(const Bytes& bytes) {
    static int serial = 0;
    path_ = (std::filesystem::temp_directory_path() /
             ("skiff-dockpair-" + std::to_string(::getpid()) + "-" + std::to_string(serial++) + ".pkg"))
                .string();
    std::ofstream(path_, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  ~FileOf() { std::filesystem::remove(path_); }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

struct DockPair : ::testing::Test, test::EngineWorld {
  test::DockBehindLink newton;
  std::unique_ptr<FileOf> file;

  std::int32_t load(const Bytes& package, newton::DockFaults faults = {}) {
    app.pipe = link.pipeCreate();
    file = std::make_unique<FileOf>(package);
    EXPECT_TRUE(app.openFile.open(file->path(), false));
    newton.attach(link, faults);
    return runPackageLoad(rt);
  }
  newton::DockProtocol& dock() { return *newton.dock; }
  Bytes stored() const { return newton.packages.empty() ? Bytes{} : newton.packages.back(); }
  bool logged(const std::string& line) const { return newton.logged(line); }
};

TEST_F(DockPair, MinimalPackageIsInstalled) {
  const Bytes package = test::minimalPackage();
  EXPECT_EQ(load(package), 0);
  EXPECT_EQ(stored(), package);
  EXPECT_TRUE(dock().disconnected());
  EXPECT_EQ(dock().packageResult(), 0);
  EXPECT_TRUE(logged("tx rtdk length=4 pad=0"));
  EXPECT_TRUE(logged("rx dock length=4 pad=0 value=4"));
  EXPECT_TRUE(logged("tx name length=90 pad=2"));
  EXPECT_TRUE(logged("rx stim length=4 pad=0 value=30"));
  EXPECT_TRUE(logged("rx lpkg length=124 pad=0"));
  EXPECT_TRUE(logged("check result=0 name=Skiff:TEST parts=1"));
  EXPECT_TRUE(logged("rx disc length=0 pad=0"));
  EXPECT_TRUE(shell.boxes.empty());
}

TEST_F(DockPair, UnalignedPackageIsPaddedSoTheDisconnectFrameIsSeen) {
  const Bytes package = test::validPackage(5001);
  EXPECT_EQ(load(package), 0);
  EXPECT_EQ(stored(), package);
  EXPECT_TRUE(logged("rx lpkg length=5001 pad=3"));
  EXPECT_TRUE(dock().disconnected());
}

TEST_F(DockPair, LargePackageInPiecesIsInstalled) {
  app.settings.moreBackgroundTime = 1;
  const Bytes package = test::validPackage(70000);
  EXPECT_EQ(load(package), 0);
  EXPECT_EQ(stored(), package);
}

TEST_F(DockPair, BrokenPackageIsRefusedAndReported) {
  Bytes package = test::minimalPackage();
  package[0] = 'X';
  EXPECT_EQ(load(package), code::kAborted);
  EXPECT_EQ(dock().packageResult(), -10401);
  ASSERT_EQ(shell.boxes.size(), 1u);
  EXPECT_EQ(shell.boxes[0].text, "Process aborted by Newton. -10401 (bad package)");
  EXPECT_EQ(shell.beeps, 3);
  EXPECT_TRUE(dock().disconnected());
}

TEST_F(DockPair, ForcedResultIsReported) {
  newton::DockFaults faults;
  faults.result = -10402;
  EXPECT_EQ(load(test::minimalPackage(), faults), code::kAborted);
  EXPECT_EQ(shell.boxes.at(0).text, "Process aborted by Newton. -10402 (package already exists)");
}

TEST_F(DockPair, CancelInTheStreamStopsItAcknowledgedAndDisconnected) {
  newton::DockFaults faults;
  faults.cancelAfter = 3000;
  EXPECT_EQ(load(test::validPackage(20000), faults), code::kAborted);
  EXPECT_TRUE(logged("fault cancel after=3000"));
  EXPECT_TRUE(logged("rx ocaa length=0 pad=0"));
  EXPECT_TRUE(dock().disconnected());
  EXPECT_EQ(shell.boxes.at(0).text, "Process aborted by Newton. (operation cancelled)");
  // The stream stopped after the chunk in which the cancel came.
  std::size_t packageBytes = 0;
  for (const auto& call : link.calls)
    if (call.op == "pipeWrite" && call.async) packageBytes += call.bytes.size();
  EXPECT_EQ(packageBytes, 4096u);
}

TEST_F(DockPair, DroppedLinkEndsWithAnError) {
  newton::DockFaults faults;
  faults.dropAfter = 5000;
  const std::int32_t result = load(test::validPackage(20000), faults);
  EXPECT_NE(result, 0);
  EXPECT_NE(result, SESSION_RECONNECT);
  EXPECT_FALSE(app.openFile.isOpen());
  EXPECT_EQ(app.transferPhase, -1);
}

TEST_F(DockPair, WrongOrMissingOpeningAsksForAReconnect) {
  newton::DockFaults wrong;
  wrong.wrongOpening = true;
  EXPECT_EQ(load(test::minimalPackage(), wrong), SESSION_RECONNECT);
  EXPECT_EQ(link.count("pipeWrite"), 0);
}

TEST_F(DockPair, SilentDockTimesOutIntoAReconnect) {
  newton::DockFaults silent;
  silent.noOpening = true;
  EXPECT_EQ(load(test::minimalPackage(), silent), SESSION_RECONNECT);
  EXPECT_TRUE(logged("fault no-opening"));
  EXPECT_GE(clock.now, 15000u);
  EXPECT_EQ(link.count("pipeWrite"), 0);
}

TEST(DockProtocol, NameFrameIsTheRealShape) {
  const auto frame = newton::nameFrame("Skiff's Newton");
  ASSERT_EQ(frame.size(), 16u + 90u + 2u);
  dock::Cursor cursor(frame);
  EXPECT_EQ(cursor.text(12), "newtdockname");
  EXPECT_EQ(cursor.u32(), 90u);
  EXPECT_EQ(cursor.u32(), 56u);  // 14 longs of version information
  cursor.skip(56);
  EXPECT_EQ(cursor.u16(), 'S');
}

TEST(DockProtocol, FramesSplitAnyWayGiveTheSameAnswers) {
  const Bytes package = test::validPackage(3001);
  Bytes stream;
  for (const auto& f : {dock::encodeLongFrame("dock", 4), dock::encodeLongFrame("stim", 30),
                        dock::encodeFrame("lpkg", package), dock::encodeFrame("disc", {})})
    stream.insert(stream.end(), f.begin(), f.end());
  const auto sends = [](const std::vector<newton::DockAction>& actions, std::vector<std::string>* out) {
    for (const auto& a : actions)
      if (a.kind == newton::DockAction::Send) out->push_back(a.text);
  };
  std::vector<std::string> whole, bytewise;
  newton::DockProtocol a({}, "N");
  sends(a.feed(stream), &whole);
  newton::DockProtocol b({}, "N");
  for (auto byte : stream) sends(b.feed(std::span<const std::uint8_t>(&byte, 1)), &bytewise);
  EXPECT_EQ(whole, (std::vector<std::string>{"name", "dres", "dres"}));
  EXPECT_EQ(bytewise, whole);
  EXPECT_TRUE(a.disconnected() && b.disconnected());
  EXPECT_EQ(a.packageResult(), 0);
}

}  // namespace
}  // namespace skiff
