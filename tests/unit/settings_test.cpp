#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "core/settings.h"

namespace skiff {
namespace {

namespace fs = std::filesystem;

struct SettingsFile : ::testing::Test {
  fs::path path = uniquePath();
  static fs::path uniquePath() {
    std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    for (char& c : name)
      if (c == '/') c = '_';
    return fs::temp_directory_path() / ("skiff_settings_" + name + ".cfg");
  }
  void TearDown() override { fs::remove(path); }
  std::string bytes() {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  void write(const std::string& content) {
    std::ofstream out(path, std::ios::binary);
    out << content;
  }
};

TEST_F(SettingsFile, MissingFileIsWrittenWithBuiltInValues) {
  Settings settings;
  EXPECT_FALSE(LoadSettings(settings, path.string()));
  EXPECT_EQ(bytes(), std::string("COM1\x00\x00\x96\x00\x00\x00", 10));
}

struct LoadCase {
  std::string file;
  std::string port;
  int more;
  std::int32_t baud;
  int batches;
};

class SettingsLoad : public SettingsFile, public ::testing::WithParamInterface<LoadCase> {};

TEST_P(SettingsLoad, EachFieldFallsBackOnItsOwn) {
  write(GetParam().file);
  Settings settings;
  EXPECT_TRUE(LoadSettings(settings, path.string()));
  EXPECT_EQ(settings.portName, GetParam().port);
  EXPECT_EQ(settings.moreBackgroundTime, GetParam().more);
  EXPECT_EQ(settings.packageBaud, GetParam().baud);
  EXPECT_EQ(settings.receiveInBatches, GetParam().batches);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SettingsLoad,
    ::testing::Values(LoadCase{std::string("COM3\x01\x80\x25\x00\x00\x01", 10), "COM3", 1, 9600, 1},
                      LoadCase{std::string("COM3\x01\x07", 6), "COM3", 1, 38400, 0},
                      LoadCase{std::string("COM9", 4), "COM9", 0, 38400, 0},
                      LoadCase{std::string("CO", 2), "COM1", 0, 38400, 0},
                      LoadCase{std::string(""), "COM1", 0, 38400, 0},
                      LoadCase{std::string("COM2\x00\x00\x4B\x00\x00\x00trailing", 18), "COM2", 0, 19200, 0}));

TEST_F(SettingsFile, SaveWritesTenBytesInOrder) {
  Settings settings;
  settings.portName = "COM2";
  settings.packageBaud = 9600;
  settings.moreBackgroundTime = 1;
  SaveSettings(settings, path.string());
  EXPECT_EQ(bytes(), std::string("COM2\x01\x80\x25\x00\x00\x00", 10));
}

TEST_F(SettingsFile, UnwritableFileIsSilent) {
  Settings settings;
  settings.portName = "COM2";
  const fs::path nowhere = fs::temp_directory_path() / "skiff-no-such-dir" / "skiff.cfg";
  SaveSettings(settings, nowhere.string());
  EXPECT_FALSE(fs::exists(nowhere));
  EXPECT_EQ(settings.portName, "COM2");  // the settings in memory stay in force
}

}  // namespace
}  // namespace skiff
