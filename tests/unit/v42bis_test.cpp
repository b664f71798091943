// The V.42bis encoder and decoder against each other, on data of every kind, and the decoder against broken
// streams: an error is reported and sticks.
#include <gtest/gtest.h>

#include <functional>
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
    if (test.modes == Modes::Alternating && i > 0 && i % kAlternateEvery == 0)
      encoder.compressed() ? encoder.enterTransparent(wire) : encoder.enterCompressed(wire);
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

  for (const std::size_t piece : {wire.size(), std::size_t{1}, std::size_t{256}}) {  // whole, bytes, LTs
    Decoder decoder(test.params);
    Bytes out;
    for (std::size_t at = 0; at < wire.size(); at += piece)
      decoder.decode(std::span(wire).subspan(at, std::min(piece, wire.size() - at)), out);
    EXPECT_FALSE(decoder.failed());
    EXPECT_TRUE(out == input) << "in pieces of " << piece;
    EXPECT_GE(decoder.recycled(), test.minRecycled);
  }
}

INSTANTIATE_TEST_SUITE_P(Data, V42bisRoundTrip, ::testing::ValuesIn(kRoundTrips),
                         [](const auto& info) { return std::string(info.param.name); });

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
  out.erase(out.begin(), out.begin() + std::min(out.size(), first.size()));
  EXPECT_TRUE(out == second);
}

struct Broken {
  const char* name;
  Params params;
  Bytes wire;
  const char* decodedFirst;  // what comes out before the error
};

// Codewords below are packed by hand, 9 bits least significant first; 44 is "A", 45 "B".
const Broken kBroken[] = {
    {"NoSuchCommandAfterTheEscape", {1024, 250}, {0x41, 0x42, 0x00, 0x07, 0x43}, "AB"},
    {"CodewordOfAnEntryNotMadeYet", {1024, 250}, {0x00, 0x00, 0x44, 0x8A, 0xB0, 0x04}, "AB"},  // A, B, 300
    {"CodewordOfTheEntryItWouldMake", {1024, 250}, {0x00, 0x00, 0x44, 0x06, 0x02}, "A"},      // A, 259
    {"CodewordBeyondTheDictionary", {600, 250}, {0x00, 0x00, 0x02, 0x78, 0x05}, ""},  // STEPUP, 700 in 10 bits
    {"StepUpPastTheLargestCodeword", {1024, 250}, {0x00, 0x00, 0x02, 0x04, 0x00}, ""},  // STEPUP twice
    {"StepUpWithTheSmallestDictionary", {512, 250}, {0x00, 0x00, 0x02, 0x00}, ""},
};

class V42bisBroken : public ::testing::TestWithParam<Broken> {};

TEST_P(V42bisBroken, FailsAndStaysFailed) {
  Decoder decoder(GetParam().params);
  Bytes out;
  EXPECT_EQ(decoder.decode(GetParam().wire, out), Decoder::Status::Failed);
  EXPECT_EQ(std::string(out.begin(), out.end()), GetParam().decodedFirst);
  EXPECT_EQ(decoder.decode(Bytes{0x41, 0x42, 0x43}, out), Decoder::Status::Failed);
  EXPECT_EQ(std::string(out.begin(), out.end()), GetParam().decodedFirst);
}

INSTANTIATE_TEST_SUITE_P(Streams, V42bisBroken, ::testing::ValuesIn(kBroken),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace skiff::v42bis
