#include <gtest/gtest.h>

#include <string>

#include "core/texts.h"
#include "tests/support/fake_shell.h"

namespace skiff {
namespace {

struct ErrorCase {
  std::int32_t code;
  const char* text;
};

class ErrorTextTest : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(ErrorTextTest, MapsCodeToSentence) { EXPECT_EQ(ErrorText(GetParam().code), GetParam().text); }

INSTANTIATE_TEST_SUITE_P(
    Table, ErrorTextTest,
    ::testing::Values(ErrorCase{-28708, "Timeout error.  (check your connection settings)"},
                      ErrorCase{-28707, "Pipe is not ready for operation."},
                      ErrorCase{-28706, "Parameter passed in was invalid."},
                      ErrorCase{-28705, "Pipe has not been initialized."},
                      ErrorCase{-28704, "The queue of asynchronous calls is full."},
                      ErrorCase{-28703, "An unknown exception has occurred."},
                      ErrorCase{-28702, "DIL pipe was set to a bad state."},
                      ErrorCase{-28701, "Error on memory allocation."},
                      ErrorCase{-28103, "Bad modem tool version"},
                      ErrorCase{-28102, "The communication tool was not found"},
                      ErrorCase{-28101, "An error occurred while reading."},
                      ErrorCase{-28100, "Disconnect occurred while reading."},
                      ErrorCase{-28030, "Disconnection detected."},
                      ErrorCase{-28029, "Cannot connect to modem; no response."},
                      ErrorCase{-28017, "Error on memory allocation."},
                      ErrorCase{-28009, "Bad connection detected"},
                      ErrorCase{-28003, "The communication operation was aborted."},
                      ErrorCase{-97, "The selected port could not be found or is already in use.  (check your "
                                     "connection settings)"},
                      ErrorCase{0, "unknown error 0"}, ErrorCase{-5, "unknown error -5"},
                      ErrorCase{-666, "unknown error -666"},
                      ErrorCase{-2147483647 - 1, "unknown error -2147483648"}));

// The ids are the Windows string table's numbers: the names must stand for the numbers the texts always had.
TEST(LoadText, KnownUnknownAndExactTexts) {
  EXPECT_EQ(static_cast<int>(TextId::ErrorPrefix), 10);
  EXPECT_EQ(LoadText(TextId::ErrorPrefix), "Error -- ");
  EXPECT_EQ(static_cast<int>(TextId::TransferringByteOf), 22);
  EXPECT_EQ(LoadText(TextId::TransferringByteOf), "Transferring byte %ld of %ld (%2i%%)");
  EXPECT_EQ(static_cast<int>(TextId::OneTransferAtATime), 62);
  EXPECT_EQ(LoadText(TextId::OneTransferAtATime),
            "Skiff can support only one trasnfer at a time.  Please try again when the current transfer is "
            "finished.");
  EXPECT_EQ(static_cast<int>(TextId::LookingForNewton), 64);
  EXPECT_EQ(LoadText(TextId::LookingForNewton), "Looking for Newton...");
  EXPECT_EQ(LoadText(static_cast<TextId>(0)), "");
  EXPECT_EQ(LoadText(static_cast<TextId>(1000)), "");  // no such id
  for (int id = 1; id <= 69; ++id) EXPECT_FALSE(LoadText(static_cast<TextId>(id)).empty()) << id;
}

TEST(ShowMessage, JoinsPartsAndBoundsTheText) {
  test::VirtualClock clock;
  AppState app;
  test::FakeShell shell(app, clock);
  ShowMessage(shell, LoadText(TextId::ErrorPrefix), ErrorText(-28030), "", "");
  ASSERT_EQ(shell.boxes.size(), 1u);
  EXPECT_EQ(shell.boxes[0].text, "Error -- Disconnection detected.");
  EXPECT_EQ(shell.boxes[0].caption, "Skiff");
  EXPECT_EQ(shell.boxes[0].icon, BoxIcon::Information);

  const std::string longPath(1000, 'A');
  ShowMessage(shell, LoadText(TextId::CannotOpenFile), longPath);
  EXPECT_EQ(shell.boxes[1].text.size(), kShowMessageMax);
  EXPECT_EQ(shell.boxes[1].text.substr(0, 17), "Cannot open fileA");
}

TEST(ShowError, FormatsWhatAndCodeWithWarningIcon) {
  test::VirtualClock clock;
  AppState app;
  test::FakeShell shell(app, clock);
  EXPECT_EQ(ShowError(shell, -97, "CDPipeInit error"), -97);
  ASSERT_EQ(shell.boxes.size(), 1u);
  EXPECT_EQ(shell.boxes[0].text, "Error: CDPipeInit error ... err -97");
  EXPECT_EQ(shell.boxes[0].icon, BoxIcon::Warning);
  EXPECT_EQ(ShowErrorText(-1, std::string(1000, 'x')).size(), kShowErrorMax);
}

}  // namespace
}  // namespace skiff
