// skiff import against newton-sim's backup role over a pseudo-terminal, with the real link library: the notes
// the Newton keeps (as it writes them to DIR/added/STORE/SOUP/ID.nsof), a refusal that stops nothing else, and
// files refused before the port opens.
#include <gtest/gtest.h>

#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "dock/nsof.h"
#include "import/note_frame.h"
#include "tests/support/sim_process.h"

namespace skiff::e2e {
namespace {

std::string quoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::vector<std::uint8_t> bytesOf(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

struct Import : ::testing::Test {
  std::filesystem::path dir;
  std::unique_ptr<test::SimProcess> sim;
  std::string long9000;

  void SetUp() override {
    dir = std::filesystem::temp_directory_path() /
          ("skiff-import-" + std::to_string(getpid()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir / "out");
    for (int i = 0; long9000.size() < 9000; ++i) long9000 += "word" + std::to_string(i % 100) + (i % 13 == 12 ? "\n" : " ");
    long9000.resize(9000);
    write("crlf.txt", "Shopping\r\nmilk\r\neggs\r\n");
    write("caf\xC3\xA9.txt", "\xEF\xBB\xBF" "Cr\xC3\xA8me br\xC3\xBBl\xC3\xA9" "e \xE2\x80\x94 \xE2\x82\xAC 4\n");
    write("long.txt", long9000);
  }
  void TearDown() override {
    if (!HasFailure()) std::filesystem::remove_all(dir);
  }
  void write(const std::string& name, const std::string& bytes) const {
    std::ofstream(dir / name, std::ios::binary) << bytes;
  }
  void startNewton(const std::vector<std::string>& options) {
    std::vector<std::string> args{"--retransmit-ms", "300", "backup", "--out", (dir / "out").string()};
    args.insert(args.end(), options.begin(), options.end());
    sim = std::make_unique<test::SimProcess>(args);
    ASSERT_TRUE(sim->start()) << sim->errors();
  }
  test::CommandResult import(const std::vector<std::string>& files, const std::string& port = "") {
    std::string command = "cd " + quoted(dir.string()) + " && exec " + quoted(test::binPath("skiff")) +
                          " import --port " + quoted(port.empty() ? sim->device() : port);
    for (const auto& file : files) command += " " + quoted(file);
    return test::runCommand({"/bin/sh", "-c", command}, 120000);
  }
  // The notes the Newton keeps, by ID.
  std::map<int, std::vector<std::uint8_t>> kept() const {
    std::map<int, std::vector<std::uint8_t>> notes;
    const auto folder = dir / "out" / "added" / "Internal" / "Notes";
    if (!std::filesystem::exists(folder)) return notes;
    for (const auto& file : std::filesystem::directory_iterator(folder))
      notes[std::stoi(file.path().stem().string())] = bytesOf(file.path());
    return notes;
  }
};

// Three files as five notes (the long one as three), each with the slots of a plain note, its title and text;
// each reported with the ID the Newton gave it.
TEST_F(Import, ThreeFilesArriveAsFiveNotes) {
  startNewton({});
  const std::time_t before = std::time(nullptr);
  const auto result = import({"crlf.txt", "caf\xC3\xA9.txt", "long.txt"});
  const std::time_t after = std::time(nullptr);
  ASSERT_EQ(result.exitCode, 0) << result.out << result.err;
  EXPECT_EQ(sim->wait(20000), 0) << sim->errors();
  EXPECT_TRUE(has(result.out, "Imported 5 notes from 3 files.")) << result.out;
  const auto notes = kept();
  ASSERT_EQ(notes.size(), 5u);
  std::u16string long16(long9000.begin(), long9000.end());
  for (auto& unit : long16) unit = unit == u'\n' ? u'\r' : unit;
  const std::vector<std::pair<std::string, std::u16string>> expected = {
      {"crlf.txt", u"Shopping\rmilk\reggs\r"},
      {"caf\u00E9.txt", u"Cr\u00E8me br\u00FBl\u00E9e \u2014 \u20AC 4\r"},
      {"long.txt", u""}, {"long.txt (2)", u""}, {"long.txt (3)", u""}};
  std::u16string longJoined;
  std::size_t i = 0;
  for (const auto& [id, bytes] : notes) {
    const nsof::Decoded decoded = nsof::decode(bytes);
    ASSERT_TRUE(decoded.ok()) << decoded.error->message();
    const nsof::Node note = decoded.node();
    const auto& [title, text] = expected.at(i++);
    EXPECT_TRUE(has(result.out, title + ": note " + std::to_string(id) + "\n")) << result.out;
    EXPECT_EQ(note.slot("_uniqueID").asInt(), id);
    EXPECT_EQ(note.slot("title").asText(), title);
    EXPECT_TRUE(note.slot("class").isSymbol("paperroll"));
    EXPECT_TRUE(note.slot("viewStationery").isSymbol("paperroll"));
    EXPECT_TRUE(note.hasSlot("labels") && note.slot("labels").isNil());
    const int stamp = note.slot("timeStamp").asInt().value_or(0);
    EXPECT_GE(stamp, import::newtonTimeNow(before));
    EXPECT_LE(stamp, import::newtonTimeNow(after));
    const nsof::Node para = note.slot("data").element(0);
    EXPECT_EQ(note.slot("data").size(), 1u);
    EXPECT_TRUE(para.slot("viewStationery").isSymbol("para"));
    EXPECT_EQ(para.slot("viewBounds").slot("right").asInt(), 315);  // newton-sim's screen is 320 wide
    EXPECT_GE(note.slot("height").asInt().value_or(0), para.slot("viewBounds").slot("bottom").asInt().value_or(1 << 20));
    const std::u16string got = para.slot("text").asUtf16().value_or(u"?");
    if (text.empty()) {
      EXPECT_LE(got.size(), 4000u);
      longJoined += got;
    } else {
      EXPECT_EQ(got, text) << title;
    }
  }
  EXPECT_EQ(longJoined, long16);
}

// A full store refuses the second note; it is reported with the Newton's code, the rest go in, exit code 1.
TEST_F(Import, AFullStoreStopsNothingElse) {
  startNewton({"--refuse-add", "2:-10617"});
  const auto result = import({"crlf.txt", "caf\xC3\xA9.txt", "long.txt"});
  EXPECT_EQ(result.exitCode, 1) << result.out << result.err;
  EXPECT_EQ(sim->wait(20000), 0) << sim->errors();
  EXPECT_TRUE(has(result.out, "caf\xC3\xA9.txt: refused by the Newton: -10617 (store full)\n")) << result.out;
  EXPECT_TRUE(has(result.out, "long.txt (3): note ")) << result.out;
  EXPECT_TRUE(has(result.out, "Imported 4 of 5 notes from 3 files; 1 refused by the Newton.")) << result.out;
  EXPECT_EQ(kept().size(), 4u);
}

// Refused by name with the reason before any port opens: nothing is looked for.
TEST_F(Import, FilesRefusedBeforeThePortOpens) {
  std::filesystem::create_directories(dir / "folder.txt");
  write("picture.txt", std::string("\x89PNG\r\n\x1A\n\0\0", 10));
  const std::pair<const char*, const char*> refusals[] = {
      {"missing.txt", "skiff import: missing.txt: No such file or directory"},
      {"folder.txt", "skiff import: folder.txt: Is a directory"},
      {"picture.txt", "skiff import: picture.txt: not text (a control character, 0x1A, at byte 7)"}};
  for (const auto& [file, says] : refusals) {
    const auto result = import({file}, "/dev/skiff-no-such-port");
    EXPECT_EQ(result.exitCode, 1) << result.err;
    EXPECT_TRUE(has(result.err, says)) << result.err;
    EXPECT_FALSE(has(result.err, "Looking for Newton")) << result.err;
    EXPECT_FALSE(has(result.err, "skiff-no-such-port")) << result.err;
  }
}

}  // namespace
}  // namespace skiff::e2e
