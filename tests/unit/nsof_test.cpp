#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "dock/nsof.h"
#include "tests/support/hex.h"

namespace skiff {
namespace {

using nsof::Graph;
using nsof::Node;
using nsof::Value;
using Bytes = std::vector<std::uint8_t>;
using test::fromHex;
using test::hexOf;

Bytes readSample(const std::string& name) {
  std::ifstream file(std::string(SKIFF_TEST_DATA_DIR) + "/nsof/" + name, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(file), {});
}

// The node at a path of slot names and element numbers, e.g. "stores.0.soups.5".
Node at(Node node, std::string_view path) {
  while (!path.empty()) {
    const std::string_view step = path.substr(0, path.find('.'));
    path.remove_prefix(std::min(path.size(), step.size() + 1));
    node = step[0] >= '0' && step[0] <= '9' ? node.element(std::stoul(std::string(step))) : node.slot(step);
  }
  return node;
}

struct Sample {
  std::string file;
  std::size_t skip;  // bytes before the stream
  std::size_t size;  // bytes of the stream
  std::vector<std::pair<std::string, std::string>> expected;  // path (any case) -> dump
};

const Sample kSamples[] = {
    {"walter-smith.nsof", 0, 157,
     {{"", "{name: #1=\"Walter Smith\", cats: 2, bounds: <rect top: 14, left: 10, bottom: 100, right: 40>, "
           "uchar: $\\u2022, phones: [\"408-996-1010\", <faxPhone \"408-974-9094\">], nameAgain: #1}"}}},
    {"desktop-apps.nsof", 0, 86, {{"", "[{id: 2, name: \"Newton Connection Utilities\", version: 1}]"}}},
    {"repeat-notes-string.nsof", 0, 44, {{"", "<string.nohint \"Repeat Notes\">"}}},
    {"names-soup-info.nsof", 0, 265,
     {{"soupdef.ownerApp", "'cardfile"}, {"soupDef.indexes.1.type", "'tags"}, {"soupDef.userName", "\"Names\""},
      {"soupDef.userDescr", "\"Soup with Names and Addresses\""}, {"NCKLastBackupTime", "57107087"}}},
    {"names-soup.nsof", 0, 286, {{"name", "\"Names\""}, {"signature", "159604293"}}},
    {"sync-options.nsof", 0, 405,
     {{"packages", "nil"}, {"stores.0.totalsize", "1394304"}, {"stores.0.defaultStore", "true"},
      {"stores.0.soups.5", "\"To Do List\""}, {"stores.0.signatures.0", "-450135364"}}},
    {"repeat-meeting-entry.dock", 16, 442,
     {{"class", "'meeting"}, {"viewStationery", "'cribNote"}, {"repeatType", "3"}, {"_uniqueId", "32"},
      {"mtgText", "\"family day\""}, {"exceptions.0.1.repeatTemplate._uniqueID", "43"}}},
};

TEST(Nsof, RealSamplesDecodeAndEncodeToTheirOwnBytes) {
  for (const auto& sample : kSamples) {
    SCOPED_TRACE(sample.file);
    const Bytes file = readSample(sample.file);
    ASSERT_GE(file.size(), sample.skip + sample.size);
    const Bytes stream(file.begin() + static_cast<std::ptrdiff_t>(sample.skip),
                       file.begin() + static_cast<std::ptrdiff_t>(sample.skip + sample.size));
    const auto decoded = nsof::decode(stream);
    ASSERT_TRUE(decoded.ok()) << decoded.error->message();
    EXPECT_EQ(decoded.size, sample.size);
    for (const auto& [path, dump] : sample.expected) EXPECT_EQ(nsof::dump(at(decoded.node(), path)), dump) << path;

    // The encoder keeps slot order and sharing, so these streams come back byte for byte.
    const auto encoded = nsof::encode(decoded.graph, decoded.root);
    EXPECT_EQ(hexOf(encoded.bytes), hexOf(stream));
    const auto again = nsof::decode(encoded.bytes);
    ASSERT_TRUE(again.ok());
    EXPECT_TRUE(nsof::sameGraph(decoded.graph, decoded.root, again.graph, again.root));

    for (std::size_t n = 0; n < stream.size(); ++n) {
      const auto cut = nsof::decode(std::span(stream).first(n));
      ASSERT_FALSE(cut.ok()) << "cut to " << n;
      EXPECT_LE(cut.error->offset, n);
    }
  }
}

TEST(Nsof, Accessors) {
  const Bytes frame = readSample("repeat-meeting-entry.dock");
  const auto entry = nsof::decode(std::span(frame).subspan(16, 442));
  const Node root = entry.node();
  EXPECT_TRUE(at(root, "exceptions.0.1.repeatTemplate.exceptions").is(root.slot("exceptions")));  // the cycle
  EXPECT_EQ(root.classOf().symbolName(), "meeting");

  const auto walter = nsof::decode(readSample("walter-smith.nsof"));
  const Node card = walter.node();
  EXPECT_EQ(card.slot("NAME").asText(), "Walter Smith");
  EXPECT_TRUE(card.slot("nameAgain").is(card.slot("name")));
  EXPECT_EQ(card.slot("bounds").slot("left").asInt(), 10);
  EXPECT_EQ(card.slot("phones").element(1).className(), "faxPhone");
  EXPECT_EQ(card.slot("phones").element(1).asText(), "408-974-9094");
  EXPECT_EQ(card.slot("uchar").asCharacter(), u'\u2022');
  EXPECT_FALSE(card.slot("phones").element(2).slot("x").asText());  // a chain through nothing
  EXPECT_TRUE(nsof::decode(readSample("sync-options.nsof")).node().hasSlot("packages"));
}

std::string repeated(std::string_view hex, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += hex;
  return out;
}

struct EdgeCase {
  std::string hex;
  std::string expected;  // the dump, or the error's message
};

TEST(Nsof, EdgeCases) {
  const EdgeCase cases[] = {
      {"02 00 FF 00 00 00 08", "2"},  // the long xlong form for a small value
      {"02 00 FF FF FF FF FC", "-1"},
      {"02 00 FF 00 00 04 2F", "@267"},
      {"02 00 1A", "true"},
      {"02 00 02", "nil"},
      {"02 00 FF 00 00 04 16", "$A"},
      {"02 00 32", "<immediate 0x32>"},
      {"02 01 41", "$A"},
      {"02 02 20 22", "$\\u2022"},
      {"02 0B 0E 0A 64 28", "<rect top: 14, left: 10, bottom: 100, right: 40>"},
      {"02 06 01 07 04 73656C66 09 00", "#1={self: #1}"},  // a precedent to a frame from its own values
      {"02 05 02 07 01 61 07 01 61", "['a, 'a]"},         // a symbol written twice, not shared
      {"02 05 02 08 02 0000 09 01", "[#1=\"\", #1]"},
      {"02 04 01 07 03 666F6F 00 04", "[foo: 1]"},
      {"02 03 03 07 03 696E6B 010203", "<ink 3 bytes 010203>"},
      {"02 03 08 07 04 7265616C 3FF8000000000000", "<real 1.5>"},
      {"02 03 0A 07 06 737472696E67 0061 0062 0000 F700 1234", "\"ab\""},  // ink after the text
      // The ID of a binary, an array or a large binary comes before its class's.
      {"02 05 04 03 01 07 01 78 41 04 00 07 01 79 09 01 09 03", "[#1=<x 1 bytes 41>, #2=[y:], #1, #2]"},
      {"02 05 02 0C 07 03 706B67 01 00000002 00000003 00000001 00000000 545A31 09 ABCD 09 01",
       "[#1=<large pkg 2 bytes compressed by TZ1>, #1]"},
      {"", "the stream ends inside a stream at byte 0"},
      {"01 0A", "bad stream version 1 at byte 0"},
      {"02 0D", "unknown tag 13 at byte 1"},
      {"02 00 01", "pointer Ref 0x1 in the stream at byte 1"},
      {"02 09 00", "precedent 0 not yet defined at byte 1"},
      {"02 05 01 09 01", "precedent 1 not yet defined at byte 3"},
      {"02 06 01 09 00 0A", "a slot tag that is not a symbol at byte 3"},  // the frame from its own tags
      {"02 0A 00", "1 byte after the object at byte 2"},
      {"02 05 FF 7F FF FF FF", "an array of size 2147483647 with 0 bytes left at byte 2"},
      {"02 06 02 07 01 61", "a frame of size 2 with 3 bytes left at byte 2"},
      {"02 03 04 07 01 78 41 42", "a binary of 4 bytes runs past the end at byte 6"},
      {"02 07 FF 00000100 " + repeated("61", 256), "a symbol of 256 bytes, longer than 255 at byte 1"},
      {"02 " + repeated("05 01 ", 300) + "0A", "objects nested deeper than 256 at byte 515"},
  };
  for (const auto& c : cases) {
    const auto decoded = nsof::decode(fromHex(c.hex));
    EXPECT_EQ(decoded.ok() ? nsof::dump(decoded.graph, decoded.root) : decoded.error->message(), c.expected) << c.hex;
    if (!decoded.ok()) continue;
    const auto again = nsof::decode(nsof::encode(decoded.graph, decoded.root).bytes);
    EXPECT_TRUE(again.ok() && nsof::sameGraph(decoded.graph, decoded.root, again.graph, again.root)) << c.hex;
  }
}

TEST(Nsof, StreamsBackToBackKeepTheirOwnPrecedents) {
  Graph names;
  const Bytes first = nsof::encode(names, names.array({names.string("Names"), names.string("Notes")})).bytes;
  Bytes both = first;
  for (std::uint8_t byte : fromHex("02 05 01 09 00")) both.push_back(byte);  // an array holding itself
  const auto decoded = nsof::decodeAll(both);
  ASSERT_TRUE(decoded.ok());
  ASSERT_EQ(decoded.streams.size(), 2u);
  EXPECT_EQ(decoded.streams[0].size, first.size());
  EXPECT_EQ(decoded.streams[1].offset, first.size());
  EXPECT_EQ(nsof::dump(decoded.node(0)), "[\"Names\", \"Notes\"]");
  EXPECT_EQ(nsof::dump(decoded.node(1)), "#1=[#1]");
  both.pop_back();
  EXPECT_EQ(nsof::decodeAll(both).error->message(), "the stream ends inside a precedent at byte " +
                                                        std::to_string(both.size()));
}

struct BuildCase {
  std::function<Value(Graph&)> build;
  std::string expected;  // the stream in hex, or the encoder's error
};

TEST(Nsof, Encoder) {
  const BuildCase cases[] = {
      {[](Graph& g) {
         return g.array({g.frame({{"id", Value::integer(2)}, {"name", g.string("Newton Connection Utilities")},
                                  {"version", Value::integer(1)}})});
       },
       hexOf(readSample("desktop-apps.nsof"))},
      {[](Graph& g) {  // a shared string once, then by precedent; a symbol by precedent wherever it is used again
         const Value s = g.string("");
         return g.frame({{"a", s}, {"b", s}, {"c", g.symbol("a")}});
       },
       "0206 0307 0161 0701 6207 0163 0802 0000 0904 0901"},
      {[](Graph& g) {
         const Value f = g.frame();
         g.setSlot(f, "self", f);
         return f;
       },
       "0206 0107 0473 656C 6609 00"},
      {[](Graph& g) {
         const Value f = g.frame({{"Name", Value::integer(1)}});
         g.setSlot(f, "name", Value::integer(2));  // the same slot
         return f;
       },
       "0206 0107 044E 616D 6500 08"},
      {[](Graph&) { return Value::integer(1000); }, "0200 FF00 000F A0"},
      {[](Graph& g) { return g.real(1.5); }, "0203 0807 0472 6561 6C3F F800 0000 0000 00"},
      {[](Graph& g) { return g.array({Value::character(u'A'), Value::character(u'\u2022'), Value::trueValue()}); },
       "0205 0301 4102 2022 001A"},
      {[](Graph&) { return Value::integer(nsof::kMaxInteger + 1); }, "integer 536870912 does not fit in 30 bits"},
      {[](Graph&) { return Value::object(5); }, "a value refers to object 5 of 0"},
      {[](Graph& g) { return g.symbol(std::string(256, 'a')); }, "a symbol of 256 bytes"},
  };
  for (const auto& c : cases) {
    Graph graph;
    const auto encoded = nsof::encode(graph, c.build(graph));
    EXPECT_EQ(encoded.ok() ? hexOf(encoded.bytes) : encoded.error, c.expected);
  }
}

TEST(Nsof, Text) {
  Graph graph;
  const Node text = graph.node(graph.string("n\xC3\xA9 \xF0\x9F\x98\x80", "string.nohint"));
  EXPECT_EQ(text.asUtf16(), u"n\u00E9 \U0001F600");
  EXPECT_EQ(text.asText(), "n\xC3\xA9 \xF0\x9F\x98\x80");
  const std::pair<std::string_view, bool> classes[] = {
      {"string", true},  {"String", true}, {"string.nohint", true}, {"faxphone", true}, {"address", true},
      {"stringy", false}, {"ink", false},  {"real", false},          {"", false}};
  for (const auto& [name, text] : classes) EXPECT_EQ(nsof::isTextClass(name), text) << name;
}

}  // namespace
}  // namespace skiff
