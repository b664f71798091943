// The dock of the simulated Newton: opens the session, answers the desktop's frames, checks and stores the
// package it receives and logs every frame. The protocol itself is in dock_protocol.cpp.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "newton/dock_protocol.h"
#include "newton/roles.h"

namespace skiff::newton {

namespace {

constexpr int kReadWaitMs = 200;
constexpr int kSilenceLimitMs = 120000;  // a desktop that says nothing for this long has gone away
constexpr const char* kDefaultName = "Skiff's Newton";  // 14 characters: a name frame of length 90

// Faults fire on the first connection of the process only, so the desktop's reconnect then succeeds.
bool gFirstConnection = true;

struct DockOptions {
  std::string outDir;
  std::string name = kDefaultName;
  DockFaults faults;
  DockTiming timing;
};

std::int64_t steadyMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

bool parseOptions(const RoleArgs& args, DockOptions* options, std::string* error) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--wrong-opening") {
      options->faults.wrongOpening = true;
      continue;
    }
    if (arg == "--no-opening") {
      options->faults.noOpening = true;
      continue;
    }
    if (i + 1 >= args.size()) {
      *error = "missing value after " + arg;
      return false;
    }
    const std::string& value = args[++i];
    long long number = 0;
    if (arg != "--out" && arg != "--name") {
      try {
        number = std::stoll(value);
      } catch (...) {
        *error = "not a number: " + value;
        return false;
      }
    }
    if (arg == "--out") {
      options->outDir = value;
    } else if (arg == "--name") {
      options->name = value.substr(0, 60);
    } else if (arg == "--result") {
      options->faults.result = static_cast<std::int32_t>(number);
    } else if (arg == "--cancel-after") {
      options->faults.cancelAfter = number;
    } else if (arg == "--drop-link-after") {
      options->faults.dropAfter = number;
    } else if (arg == "--install-ms") {
      options->timing.installMs = number;
    } else if (arg == "--helo-every") {
      options->timing.heloEveryMs = number;
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

}  // namespace

std::string dockRoleUsage() {
  return "  dock --out DIR [--name NAME] [--wrong-opening | --no-opening] [--result CODE]\n"
         "       [--cancel-after BYTES] [--drop-link-after BYTES] [--install-ms MS] [--helo-every MS]\n"
         "      the dock: opens with \"newtdockrtdk\", answers the desktop, checks the package it loads and\n"
         "      answers \"dres\" 0 or -10401, stores it as DIR/package.pkg (the session's n-th package also\n"
         "      as DIR/package-n.pkg; a session takes any number) and logs every frame to DIR/dock.log;\n"
         "      faults (first connection only, then newton-sim calls again): another opening frame, none at\n"
         "      all, CODE as every package's result, a cancel or a dropped link after BYTES of package data\n"
         "      (counted over the session's packages);\n"
         "      an install that takes MS before its \"dres\", with a \"helo\" every MS meanwhile\n";
}

int runDockRole(NewtonStream& stream, const RoleArgs& args) {
  DockOptions options;
  std::string error;
  if (!parseOptions(args, &options, &error)) {
    std::fprintf(stderr, "newton-sim dock: %s\n", error.c_str());
    stream.log("dock error " + error);
    return 2;
  }
  const bool faulty = gFirstConnection;
  gFirstConnection = false;
  DockFaults faults = options.faults;
  if (!faulty) faults = DockFaults{};

  std::error_code ignored;
  std::filesystem::create_directories(options.outDir, ignored);
  std::ofstream log(options.outDir + "/dock.log", std::ios::app);
  DockProtocol dock(faults, options.name, options.timing);
  dock.tick(steadyMs());

  // Carries out the protocol's actions; false once the link is to end.
  const auto perform = [&](const std::vector<DockAction>& actions) {
    bool goOn = true;
    for (const DockAction& action : actions) {
      switch (action.kind) {
        case DockAction::Log:
          log << action.text << '\n' << std::flush;
          stream.log("dock " + action.text);
          break;
        case DockAction::Send:
          if (!stream.write(action.bytes)) goOn = false;
          break;
        case DockAction::PackageReceived:
          // package.pkg holds the last one; every package of a session is also kept by its number.
          for (const std::string& name : {std::string("package.pkg"), "package-" + std::to_string(action.number) + ".pkg"}) {
            std::ofstream out(options.outDir + "/" + name, std::ios::binary | std::ios::trunc);
            out.write(reinterpret_cast<const char*>(action.bytes.data()),
                      static_cast<std::streamsize>(action.bytes.size()));
          }
          break;
        case DockAction::Hangup:
          stream.disconnect();
          goOn = false;
          break;
      }
    }
    return goOn;
  };

  bool linkUp = perform(dock.start());
  int quietMs = 0;
  std::uint8_t buffer[4096];
  while (linkUp) {
    const long n = stream.readSome(buffer, kReadWaitMs);
    if (n < 0) break;  // the desktop disconnected
    linkUp = perform(dock.tick(steadyMs()));
    if (n == 0) {
      quietMs += kReadWaitMs;
      if (quietMs >= kSilenceLimitMs) break;
      continue;
    }
    quietMs = 0;
    linkUp = perform(dock.feed({buffer, static_cast<std::size_t>(n)}));
  }

  if (!dock.openedProperly()) {
    log << "end after a faulty opening; calling again\n" << std::flush;
    return kRoleCallAgain;
  }
  if (dock.disconnected()) {
    log << "end disc package=" << (dock.packageStored() ? "stored" : "none") << " packages="
        << dock.packagesReceived() << " result=" << dock.packageResult() << '\n' << std::flush;
    return 0;
  }
  log << "end link lost" << '\n' << std::flush;
  return faults.dropAfter >= 0 ? 4 : 1;
}

}  // namespace skiff::newton
