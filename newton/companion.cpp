// The companion application of the simulated Newton: answers the desktop's messages, stores each received
// file in the output folder and logs it. The protocol itself is in companion_protocol.cpp.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "newton/companion_protocol.h"
#include "newton/roles.h"
#include "newton/sha256.h"

namespace skiff::newton {

namespace {

constexpr int kReadWaitMs = 200;
constexpr int kSilenceLimitMs = 120000;     // a desktop that says nothing for this long has gone away
constexpr int kAfterDoneLimitMs = 15000;    // after DONE the desktop disconnects within seconds
constexpr std::size_t kStoredNameMax = 200;

// Faults fire on the first connection of the process only, so a reconnect after a dropped link succeeds.
bool gFirstConnection = true;

struct CompanionOptions {
  std::string outDir;
  CompanionFaults faults;
  long dropAfterBytes = 0;
};

bool parseOptions(const RoleArgs& args, CompanionOptions* options, std::string* error) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (i + 1 >= args.size()) {
      *error = "missing value after " + arg;
      return false;
    }
    const std::string& value = args[++i];
    long number = 0;
    try {
      if (arg != "--out") number = std::stol(value);
    } catch (...) {
      *error = "not a number: " + value;
      return false;
    }
    if (arg == "--out") {
      options->outDir = value;
    } else if (arg == "--reply-no") {
      options->faults.refuseChunk = static_cast<int>(number);
    } else if (arg == "--reply-wrong") {
      options->faults.wrongReplyAt = static_cast<int>(number);
    } else if (arg == "--no-reply") {
      options->faults.silentAt = static_cast<int>(number);
    } else if (arg == "--drop-after") {
      options->dropAfterBytes = number;
    } else {
      *error = "unknown option " + arg;
      return false;
    }
  }
  if (options->outDir.empty()) {
    *error = "--out DIR is required";
    return false;
  }
  return true;
}

// A name the output folder can hold: no folders, no control bytes, bounded; the log keeps the real name.
std::string storedName(const std::string& announced, int fileNumber) {
  std::string name;
  for (unsigned char c : announced) name += (c < 0x20 || c == '/' || c == '\\' || c == 0x7F) ? '_' : char(c);
  if (name.empty()) name = "unnamed-" + std::to_string(fileNumber);
  if (name == "." || name == "..") name = "_" + name;
  if (name.size() > kStoredNameMax) {
    const std::vector<std::uint8_t> whole(announced.begin(), announced.end());
    name = name.substr(0, kStoredNameMax) + "~" + sha256Hex(whole).substr(0, 8);
  }
  return name;
}

}  // namespace

std::string companionRoleUsage() {
  return "  companion --out DIR [--reply-no CHUNK] [--reply-wrong MSG] [--no-reply MSG] [--drop-after BYTES]\n"
         "      the companion application: answers \"OK\", stores each file in DIR, logs to DIR/companion.log;\n"
         "      faults (first connection only): \"NO\" to data chunk CHUNK, \"ok\" to message MSG, no reply to\n"
         "      message MSG, drop the link after BYTES received (messages and chunks count from 1)\n";
}

int runCompanionRole(NewtonStream& stream, const RoleArgs& args) {
  CompanionOptions options;
  std::string error;
  if (!parseOptions(args, &options, &error)) {
    std::fprintf(stderr, "newton-sim companion: %s\n", error.c_str());
    stream.log("companion error " + error);
    return 2;
  }
  const bool faulty = gFirstConnection;
  gFirstConnection = false;

  std::error_code ignored;
  std::filesystem::create_directories(options.outDir, ignored);
  std::ofstream log(options.outDir + "/companion.log", std::ios::app);

  CompanionProtocol protocol(faulty ? options.faults : CompanionFaults{});
  const long dropAfter = faulty ? options.dropAfterBytes : 0;
  long received = 0;
  int files = 0;
  int quietMs = 0;
  std::uint8_t buffer[4096];

  for (;;) {
    const long n = stream.readSome(buffer, kReadWaitMs);
    if (n < 0) break;  // the desktop disconnected
    if (n == 0) {
      quietMs += kReadWaitMs;
      if (quietMs >= (protocol.batchDone() ? kAfterDoneLimitMs : kSilenceLimitMs)) break;
      continue;
    }
    quietMs = 0;
    long take = n;
    const bool drop = dropAfter > 0 && received + n >= dropAfter;
    if (drop) take = dropAfter - received;
    received += take;

    for (auto& action : protocol.feed({buffer, static_cast<std::size_t>(take)})) {
      switch (action.kind) {
        case CompanionAction::Reply:
          if (!drop) stream.write({reinterpret_cast<const std::uint8_t*>(action.reply.data()), action.reply.size()});
          break;
        case CompanionAction::FileDone: {
          ++files;
          const ReceivedFile& file = *action.file;
          std::ofstream out(options.outDir + "/" + storedName(file.name, files), std::ios::binary | std::ios::trunc);
          out.write(reinterpret_cast<const char*>(file.bytes.data()), static_cast<std::streamsize>(file.bytes.size()));
          const std::string line = companionLogLine(file);
          log << line << '\n' << std::flush;
          stream.log("companion " + line);
          break;
        }
        case CompanionAction::BatchDone:
          log << "done files=" << files << '\n' << std::flush;
          stream.log("companion done");
          break;
        case CompanionAction::ProtocolError:
          log << "error " << action.error << '\n' << std::flush;
          stream.log("companion error " + action.error);
          return 3;
      }
    }
    if (drop) {
      log << "dropped after=" << received << '\n' << std::flush;
      stream.log("companion dropped after " + std::to_string(received));
      stream.disconnect();
      return 4;
    }
  }
  if (!protocol.batchDone()) {
    log << "ended before DONE files=" << files << '\n' << std::flush;
    stream.log("companion ended before DONE");
    return 1;
  }
  return 0;
}

}  // namespace skiff::newton
