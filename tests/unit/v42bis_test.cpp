// The V.42bis encoder and decoder against each other, on data of every kind, and the decoder against broken
// streams: an error is reported, sticks, and never yields more characters than the wire can carry.
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <sstream>
#include <string>

#include "dil/v42bis.h"
#include "tests/support/sample_package.h"

namespace skiff::v42bis {
namespace {

// Auto: the encoder chooses. Otherwise it stays transparent, goes compressed at once, or changes mode every
// 100 characters.
enum class Modes { Auto, Transparent, Compressed, Alternating };
constexpr std::size_t kAlternateEvery = 100;

struct RoundTrip {
  const char* name;
  Params params;
  std::function<Bytes()> input;
  std::size_t flushEvery;    // a message ends after every so many characters (and at the end); 0: only at the end
  Modes modes;
  double maxWirePerByte;     // wire bytes for each input byte at most
  std::uint64_t minRecycled; // dictionary entries the decoder must have recycled
};

Bytes filled(std::size_t n, std::uint8_t value) { return Bytes(n, value); }
Bytes everyValue() {
  Bytes bytes;
  for (int round = 0; round < 40; ++round)
    for (int c = 0; c < 256; ++c) bytes.push_back(static_cast<std::uint8_t>(c));
  return bytes;
}

const RoundTrip kRoundTrips[] = {
    // Incompressible: the encoder stays transparent, where only the escape character costs a byte more.
    {"Random", {1024, 250}, [] { return test::randomBytes(30000); }, 2048, Modes::Auto, 1.01, 0},
    {"AllZero", {1024, 250}, [] { return filled(40000, 0x00); }, 0, Modes::Auto, 0.03, 0},  // strings grow to 250
    {"AllDle", {1024, 250}, [] { return filled(10000, 0x10); }, 2048, Modes::Auto, 0.1, 0},
    {"Prose", {1024, 250}, [] { return test::prose(25000); }, 2048, Modes::Auto, 0.5, 0},
    {"ProseRecyclesTheDictionary", {1024, 250}, [] { return test::prose(60000, 3); }, 2048, Modes::Auto, 0.5, 1000},
    {"StringsAtTheShortestLimit", {512, 6}, [] { return filled(3000, 0x41); }, 0, Modes::Auto, 0.25, 0},
    {"AMessageEveryByte", {1024, 250}, [] { return test::prose(3000); }, 1, Modes::Auto, 1.01, 0},
    {"AMessageEvery3BytesCompressed", {1024, 250}, [] { return test::prose(3000); }, 3, Modes::Compressed, 2.0, 0},
    {"ModeChangesEvery100", {1024, 250}, [] { return test::prose(20000); }, 700, Modes::Alternating, 1.0, 0},
    {"EveryByteValueTransparent", {1024, 250}, everyValue, 500, Modes::Transparent, 1.021, 0},  // escapes 1 in 51
    {"SmallestDictionary", {512, 250}, [] { return test::prose(20000); }, 0, Modes::Auto, 0.6, 1},
    {"FourThousandCodewords", {4096, 250}, [] { return test::prose(80000); }, 4096, Modes::Auto, 0.5, 0},
};

// The wire bytes for `input`, flushed and switched as the case says.
Bytes encodeCase(const RoundTrip& test, const Bytes& input) {
  Encoder encoder(test.params, test.modes == Modes::Auto ? Encoder::Choice::Automatic : Encoder::Choice::Manual);
  Bytes wire;
  if (test.modes == Modes::Compressed) encoder.enterCompressed(wire);
  for (std::size_t i = 0; i < input.size(); ++i) {
    if (test.modes == Modes::Alternating && i > 0 && i % kAlternateEvery == 0) {
      if (encoder.compressed()) {
        encoder.enterTransparent(wire);
      } else {
        encoder.enterCompressed(wire);
      }
    }
    encoder.put(input[i], wire);
    if (test.flushEvery != 0 && (i + 1) % test.flushEvery == 0) encoder.flush(wire);
  }
  encoder.flush(wire);
  EXPECT_FALSE(encoder.holding());
  return wire;
}

class V42bisRoundTrip : public ::testing::TestWithParam<RoundTrip> {};

TEST_P(V42bisRoundTrip, DecodesToTheInputWholeByteByByteAndInLts) {
  const RoundTrip& test = GetParam();
  const Bytes input = test.input();
  const Bytes wire = encodeCase(test, input);
  EXPECT_LE(static_cast<double>(wire.size()), test.maxWirePerByte * static_cast<double>(input.size()) + 8)
      << wire.size() << " wire bytes for " << input.size();

  Decoder whole(test.params), single(test.params), inLts(test.params);
  Bytes a, b, c;
  EXPECT_EQ(whole.decode(wire, a), Decoder::Status::Ok);
  for (std::uint8_t byte : wire) single.decode(std::span(&byte, 1), b);
  for (std::size_t at = 0; at < wire.size(); at += 256)
    inLts.decode(std::span(wire).subspan(at, std::min<std::size_t>(256, wire.size() - at)), c);
  EXPECT_TRUE(a == input) << "whole";
  EXPECT_TRUE(b == input) << "byte by byte";
  EXPECT_TRUE(c == input) << "in LTs";
  EXPECT_FALSE(single.failed());
  EXPECT_GE(whole.recycled(), test.minRecycled);
}

INSTANTIATE_TEST_SUITE_P(Data, V42bisRoundTrip, ::testing::ValuesIn(kRoundTrips),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(V42bisStream, CutAnywhereBetweenTwoLtsDecodesTheSame) {
  const Bytes input = test::prose(900, 5);
  Encoder encoder(Params{1024, 250});
  Bytes wire;
  encoder.encode(std::span(input).first(400), wire);
  encoder.flush(wire);
  encoder.encode(std::span(input).subspan(400), wire);
  encoder.flush(wire);
  ASSERT_TRUE(encoder.compressed());
  for (std::size_t cut = 0; cut <= wire.size(); ++cut) {
    Decoder decoder(Params{1024, 250});
    Bytes out;
    decoder.decode(std::span(wire).first(cut), out);
    decoder.decode(std::span(wire).subspan(cut), out);
    ASSERT_TRUE(out == input) << "cut at " << cut;
  }
}

// A transparent-mode RESET empties the dictionary: what an encoder starting afresh sends after it decodes.
TEST(V42bisStream, ResetStartsTheDictionaryAgain) {
  const Bytes first = test::prose(2000, 7), second = test::prose(2000, 8);  // no 00 bytes: the escape stays 00
  Encoder before(Params{1024, 250}, Encoder::Choice::Manual), after(Params{1024, 250}, Encoder::Choice::Manual);
  Bytes wire;
  before.encode(first, wire);
  wire.insert(wire.end(), {0x00, kReset});
  after.enterCompressed(wire);
  after.encode(second, wire);
  after.flush(wire);
  Decoder decoder(Params{1024, 250});
  Bytes out;
  EXPECT_EQ(decoder.decode(wire, out), Decoder::Status::Ok);
  Bytes expected = first;
  expected.insert(expected.end(), second.begin(), second.end());
  EXPECT_TRUE(out == expected);
}

Bytes hex(const std::string& text) {
  Bytes bytes;
  std::istringstream in(text);
  for (std::string word; in >> word;) bytes.push_back(static_cast<std::uint8_t>(std::stoul(word, nullptr, 16)));
  return bytes;
}

struct Broken {
  const char* name;
  Params params;
  const char* wire;
  const char* decodedFirst;  // what comes out before the error
};

// Codewords below are packed by hand, 9 bits least significant first; 44 is "A", 45 "B".
const Broken kBroken[] = {
    {"NoSuchCommandAfterTheEscape", {1024, 250}, "41 42 00 07 43", "AB"},
    {"CodewordOfAnEntryNotMadeYet", {1024, 250}, "00 00 44 8A B0 04", "AB"},      // A, B, 300
    {"CodewordOfTheEntryItWouldMake", {1024, 250}, "00 00 44 06 02", "A"},        // A, 259
    {"CodewordBeyondTheDictionary", {600, 250}, "00 00 02 78 05", ""},            // STEPUP, 700 in 10 bits
    {"StepUpPastTheLargestCodeword", {1024, 250}, "00 00 02 04 00", ""},          // STEPUP twice
    {"StepUpWithTheSmallestDictionary", {512, 250}, "00 00 02 00", ""},
};

class V42bisBroken : public ::testing::TestWithParam<Broken> {};

TEST_P(V42bisBroken, FailsAndStaysFailed) {
  Decoder decoder(GetParam().params);
  Bytes out;
  EXPECT_EQ(decoder.decode(hex(GetParam().wire), out), Decoder::Status::Failed);
  EXPECT_EQ(std::string(out.begin(), out.end()), GetParam().decodedFirst);
  EXPECT_EQ(decoder.decode(hex("41 42 43"), out), Decoder::Status::Failed);
  EXPECT_EQ(std::string(out.begin(), out.end()), GetParam().decodedFirst);
}

INSTANTIATE_TEST_SUITE_P(Streams, V42bisBroken, ::testing::ValuesIn(kBroken),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(V42bisBroken, GarbageNeverYieldsMoreThanTheBound) {
  std::mt19937 random(11);
  for (int round = 0; round < 300; ++round) {
    Bytes wire(1 + random() % 300);
    for (auto& byte : wire) byte = static_cast<std::uint8_t>(random() % 4 ? random() : random() % 3);
    if (round % 2) wire.insert(wire.begin(), {0x00, 0x00});  // straight into compressed mode
    Decoder decoder(Params{1024, 250});
    Bytes out;
    decoder.decode(wire, out);
    ASSERT_LE(out.size(), decoder.outputBound(wire.size()));
  }
}

}  // namespace
}  // namespace skiff::v42bis
