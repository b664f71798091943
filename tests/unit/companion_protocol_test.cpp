#include "newton/companion_protocol.h"

#include <gtest/gtest.h>

#include "newton/sha256.h"

namespace skiff::newton {
namespace {

std::vector<std::uint8_t> bytes(std::string_view s) { return {s.begin(), s.end()}; }

TEST(Sha256, StandardVectors) {
  EXPECT_EQ(sha256Hex(bytes("")), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(sha256Hex(bytes("abc")), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(sha256Hex(bytes("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq")),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  EXPECT_EQ(sha256Hex(bytes(std::string(1000000, 'a'))),
            "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(Sha256, PiecesGiveTheSameDigestAsTheWhole) {
  const std::string text(200, 'q');
  Sha256 pieces;
  for (std::size_t i = 0; i < text.size(); i += 7)
    pieces.update({reinterpret_cast<const std::uint8_t*>(text.data()) + i, std::min<std::size_t>(7, text.size() - i)});
  const auto digest = pieces.finish();
  Sha256 whole;
  whole.update(bytes(text));
  EXPECT_EQ(digest, whole.finish());
}

// A whole exchange as the desktop sends it: a text note with a header, a bitmap of 600 bytes, DONE.
std::string exchange() {
  std::string s;
  for (const char* m : {"PARM\x04", "FILETYPE\x04", "WINDOWS\x04", "PARM\x04", "FILENAME\x04", "TODO.TXT\x04"})
    s += m;
  s += std::string("SPIT\x04") + std::string("\0\0\0\x09", 4) + "DATA\x04*TODO*\n\x04" + "DATA\x04rope\r\x04" +
       "NEXT\x04";
  s += std::string("SBMP\x04") + std::string("\0\0\x02\x58", 4) + std::string(500, 'b') + std::string(100, 'c');
  s += "DONE\x04";
  return s;
}

struct Outcome {
  std::vector<std::string> replies;
  std::vector<ReceivedFile> files;
  int batchDone = 0;
  int errors = 0;
};

Outcome feedAll(CompanionProtocol& protocol, const std::string& input, std::size_t piece) {
  Outcome outcome;
  for (std::size_t i = 0; i < input.size(); i += piece) {
    const std::string part = input.substr(i, piece);
    for (auto& action : protocol.feed(bytes(part))) {
      if (action.kind == CompanionAction::Reply) outcome.replies.push_back(action.reply);
      if (action.kind == CompanionAction::FileDone) outcome.files.push_back(*action.file);
      if (action.kind == CompanionAction::BatchDone) ++outcome.batchDone;
      if (action.kind == CompanionAction::ProtocolError) ++outcome.errors;
    }
  }
  return outcome;
}

class CompanionFeeding : public ::testing::TestWithParam<std::size_t> {};

TEST_P(CompanionFeeding, TheSameMessagesWhateverThePieces) {
  CompanionProtocol protocol;
  const Outcome outcome = feedAll(protocol, exchange(), GetParam());
  // 6 parameter messages; text: type, length, header, block, NEXT; bitmap: type, length, 2 chunks; DONE.
  EXPECT_EQ(outcome.replies, std::vector<std::string>(6 + 5 + 4 + 1, "OK"));
  ASSERT_EQ(outcome.files.size(), 2u);
  const ReceivedFile& note = outcome.files[0];
  EXPECT_EQ(note.name, "TODO.TXT");
  EXPECT_EQ(note.typeToken, "SPIT");
  EXPECT_EQ(note.typeValue, "WINDOWS") << "the value's own EOT byte ends it";
  EXPECT_EQ(note.creatorValue, "");
  EXPECT_EQ(note.announcedLength, 9);
  EXPECT_EQ(note.header, "*TODO*\n");
  EXPECT_EQ(std::string(note.bytes.begin(), note.bytes.end()), "*TODO*\nrope\r");
  EXPECT_EQ(note.chunkSizes, (std::vector<std::size_t>{7, 5}));
  const ReceivedFile& picture = outcome.files[1];
  EXPECT_EQ(picture.name, "") << "parameters belong to one file";
  EXPECT_EQ(picture.typeToken, "SBMP");
  EXPECT_EQ(picture.bytes.size(), 600u);
  EXPECT_EQ(picture.chunkSizes, (std::vector<std::size_t>{500, 100}));
  EXPECT_EQ(outcome.batchDone, 1);
  EXPECT_EQ(outcome.errors, 0);
}

INSTANTIATE_TEST_SUITE_P(Pieces, CompanionFeeding, ::testing::Values(1, 3, 64, 100000));

TEST(Companion, TrailingJunkIsAProtocolErrorAndStopsIt) {
  CompanionProtocol protocol;
  const Outcome outcome = feedAll(protocol, exchange() + "JUNK\x04" + "PARM\x04", 100000);
  EXPECT_EQ(outcome.errors, 1);
  EXPECT_TRUE(protocol.failed());
  EXPECT_EQ(outcome.files.size(), 2u);
  EXPECT_TRUE(protocol.feed(bytes("PARM\x04")).empty());
}

TEST(Companion, GarbageWithoutEotIsBounded) {
  CompanionProtocol protocol;
  const Outcome outcome = feedAll(protocol, std::string(5000, 'g'), 100);
  EXPECT_EQ(outcome.errors, 1);
  EXPECT_TRUE(outcome.replies.empty());
}

TEST(Companion, FaultsOnRequest) {
  CompanionFaults faults;
  faults.refuseChunk = 2;  // the header is chunk 1, "rope\r" chunk 2
  faults.silentAt = 1;
  faults.wrongReplyAt = 14;  // the bitmap's first chunk
  CompanionProtocol protocol(faults);
  const Outcome outcome = feedAll(protocol, exchange(), 7);
  ASSERT_EQ(outcome.replies.size(), 15u);
  EXPECT_EQ(outcome.replies[8], "NO");
  EXPECT_EQ(outcome.replies[12], "ok");
  ASSERT_EQ(outcome.files.size(), 2u);
  EXPECT_EQ(std::string(outcome.files[0].bytes.begin(), outcome.files[0].bytes.end()), "*TODO*\n")
      << "a refused block is not kept";
  EXPECT_EQ(outcome.files[0].replies.front(), "-");
}

TEST(Companion, ANegativeLengthIsAnEmptyFile) {
  CompanionProtocol protocol;
  const Outcome outcome = feedAll(protocol, std::string("SPIB\x04\xFF\xFF\xFF\x9C", 9) + "DONE\x04", 100);
  ASSERT_EQ(outcome.files.size(), 1u);
  EXPECT_EQ(outcome.files[0].announcedLength, -100);
  EXPECT_TRUE(outcome.files[0].bytes.empty());
  EXPECT_EQ(outcome.replies.size(), 3u);
}

TEST(Companion, LogLineCarriesEverything) {
  ReceivedFile file;
  file.name = "A \"B\".TXT";
  file.typeToken = "SPIT";
  file.typeValue = "WINDOWS";
  file.creatorValue = "WINDOWS";
  file.announcedLength = 3;
  file.header = "*TODO*\n";
  file.bytes = bytes("abc");
  file.chunkSizes = {3};
  file.replies = {"OK", "NO"};
  EXPECT_EQ(companionLogLine(file),
            "file name=\"A \\\"B\\\".TXT\" type=SPIT typevalue=57494E444F5753 creator=57494E444F5753 length=3 "
            "header=\"*TODO*\\n\" bytes=3 sha256=ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad "
            "chunks=3 replies=OK,NO");
}

}  // namespace
}  // namespace skiff::newton
