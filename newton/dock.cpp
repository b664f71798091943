// The dock of the simulated Newton: opens the session, answers the desktop's frames, checks and stores the
// package it receives and logs every frame; as the backup role it also holds stores, soups and entries for a
// desktop to back up over a Newton OS 2.x session, keeps the entries a desktop adds (DIR/added/STORE/SOUP/ID.nsof)
// and the text its keyboard types (DIR/typed.txt). The protocol itself is in dock_protocol.cpp and
// store_service.cpp.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "newton/dock_protocol.h"
#include "newton/roles.h"

namespace skiff::newton {

namespace {

constexpr int kReadWaitMs = 200;
constexpr int kSilenceLimitMs = 120000;  // a desktop that says nothing for this long has gone away
constexpr const char* kDefaultName = "Skiff's Newton";  // 14 characters: a name frame of length 90
// 11 December 2026, 10:00, in minutes since 1904: the simulated Newton's clock unless --clock sets it.
constexpr std::uint32_t kDefaultClock = 64'870'920;

// Faults fire on the first connection of the process only, so the desktop's reconnect then succeeds.
bool gFirstConnection = true;

struct DockOptions {
  std::string outDir;
  std::string name = kDefaultName;
  DockFaults faults;
  DockTiming timing;
  // The backup role's.
  NewtonIdentity identity;
  std::string contentDir;
  ContentOptions content;          // its `now` stays the made content's time, whatever the session's clock
  std::uint32_t clock = 0;         // the session's clock (--clock)
  // The user's edits and when each was made (0: a minute before the clock), in the order given.
  std::vector<std::pair<ContentEdit, std::uint32_t>> edits;
  BackupFaults backupFaults;
  bool noNotesSoup = false;  // the default store has no Notes soup (a card that never held notes)
};

std::int64_t steadyMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// "SOUP:N" into the soup's name and N.
bool soupAndCount(const std::string& value, std::string* soup, int* count) {
  const std::size_t colon = value.rfind(':');
  if (colon == std::string::npos || colon == 0) return false;
  try {
    *count = std::stoi(value.substr(colon + 1));
  } catch (...) {
    return false;
  }
  *soup = value.substr(0, colon);
  return *count >= 0;
}

// "[STORE/]SOUP:changed=N,added=N,deleted=N[@MINUTES]" (any of the three).
bool parseEdit(std::string value, ContentEdit* edit, std::uint32_t* at) {
  if (const std::size_t sign = value.find('@'); sign != std::string::npos) {
    try {
      *at = static_cast<std::uint32_t>(std::stoul(value.substr(sign + 1)));
    } catch (...) {
      return false;
    }
    value.resize(sign);
  }
  const std::size_t colon = value.find(':');
  if (colon == std::string::npos || colon == 0) return false;
  std::string where = value.substr(0, colon);
  if (const std::size_t slash = where.find('/'); slash != std::string::npos) {
    edit->store = where.substr(0, slash);
    where = where.substr(slash + 1);
  }
  edit->soup = where;
  std::size_t from = colon + 1;
  while (from < value.size()) {
    const std::size_t end = std::min(value.find(',', from), value.size());
    const std::string part = value.substr(from, end - from);
    const std::size_t equals = part.find('=');
    if (equals == std::string::npos) return false;
    int n = 0;
    try {
      n = std::stoi(part.substr(equals + 1));
    } catch (...) {
      return false;
    }
    const std::string what = part.substr(0, equals);
    if (what == "changed") edit->changed = n;
    else if (what == "added") edit->added = n;
    else if (what == "deleted") edit->deleted = n;
    else return false;
    from = end + 1;
  }
  return true;
}

// "N:CODE" into the n-th "adde" and the result that refuses it.
bool refusal(const std::string& value, std::map<int, std::int32_t>* refusals) {
  const std::size_t colon = value.find(':');
  if (colon == std::string::npos) return false;
  try {
    const int number = std::stoi(value.substr(0, colon));
    const auto result = static_cast<std::int32_t>(std::stol(value.substr(colon + 1)));
    if (number < 1 || result == 0) return false;
    (*refusals)[number] = result;
  } catch (...) {
    return false;
  }
  return true;
}

bool parseOptions(const RoleArgs& args, bool backupRole, DockOptions* options, std::string* error) {
  const auto takesText = [](const std::string& arg) {
    return arg == "--out" || arg == "--name" || arg == "--password" || arg == "--content" || arg == "--fail-soup" ||
           arg == "--drop-in-soup" || arg == "--cancel-in-soup" || arg == "--edit" || arg == "--refuse-add";
  };
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
    if (arg == "--os1" && backupRole) {
      options->identity.os1 = true;
      continue;
    }
    if (arg == "--no-notes-soup" && backupRole) {
      options->noNotesSoup = true;
      continue;
    }
    if (i + 1 >= args.size()) {
      *error = "missing value after " + arg;
      return false;
    }
    const std::string& value = args[++i];
    long long number = 0;
    if (!takesText(arg)) {
      try {
        number = std::stoll(value);
      } catch (...) {
        *error = "not a number: " + value;
        return false;
      }
    }
    bool known = true;
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
    } else if (!backupRole) {
      known = false;
    } else if (arg == "--password") {
      options->identity.password = value;
    } else if (arg == "--content") {
      options->contentDir = value;
    } else if (arg == "--entries") {
      options->content.entriesPerSoup = static_cast<int>(number);
    } else if (arg == "--seed") {
      options->content.seed = static_cast<unsigned>(number);
    } else if (arg == "--clock") {
      options->clock = static_cast<std::uint32_t>(number);
    } else if (arg == "--edit") {
      ContentEdit edit;
      std::uint32_t at = 0;
      known = parseEdit(value, &edit, &at);
      options->edits.emplace_back(edit, at);
    } else if (arg == "--entry-ms") {
      options->backupFaults.entryMs = static_cast<int>(number);
    } else if (arg == "--fail-soup") {
      options->backupFaults.failSoup = value;
    } else if (arg == "--drop-in-soup") {
      known = soupAndCount(value, &options->backupFaults.dropInSoup, &options->backupFaults.dropAfterEntries);
    } else if (arg == "--refuse-add") {
      known = refusal(value, &options->backupFaults.refusedAdds);
    } else if (arg == "--screen-width") {
      known = number >= 1 && number <= 4096;
      options->identity.screenWidth = static_cast<std::uint32_t>(number);
    } else if (arg == "--cancel-in-soup") {
      known = soupAndCount(value, &options->backupFaults.cancelInSoup, &options->backupFaults.cancelAfterEntries);
    } else {
      known = false;
    }
    if (!known) {
      *error = "unknown option or bad value: " + arg + " " + value;
      return false;
    }
  }
  if (options->outDir.empty()) {
    *error = "--out DIR is required";
    return false;
  }
  return true;
}

int runDock(NewtonStream& stream, const RoleArgs& args, bool backupRole) {
  const char* role = backupRole ? "backup" : "dock";
  DockOptions options;
  std::string error;
  if (!parseOptions(args, backupRole, &options, &error)) {
    std::fprintf(stderr, "newton-sim %s: %s\n", role, error.c_str());
    stream.log(std::string(role) + " error " + error);
    return 2;
  }
  const bool faulty = gFirstConnection;
  gFirstConnection = false;
  DockFaults faults = options.faults;
  BackupFaults backupFaults = options.backupFaults;
  if (!faulty) {
    faults = DockFaults{};
    const int entryMs = backupFaults.entryMs;  // a slow Newton stays slow
    backupFaults = BackupFaults{};
    backupFaults.entryMs = entryMs;
  }

  std::optional<StoreService> stores;
  if (backupRole) {
    // The same content every session (its entries' times included); the clock moves on between sessions.
    options.content.now = kDefaultClock;
    const std::uint32_t clock = options.clock != 0 ? options.clock : kDefaultClock;
    std::optional<NewtonContent> content = options.contentDir.empty() ? generatedContent(options.content)
                                                                      : loadContent(options.contentDir, &error);
    if (!content) {
      std::fprintf(stderr, "newton-sim backup: %s\n", error.c_str());
      return 2;
    }
    // The user's changes since the content was made, a minute before this session's clock.
    for (const auto& [edit, at] : options.edits) {
      const std::string problem = editContent(*content, {edit}, at != 0 ? at : clock - 1);
      if (!problem.empty()) {
        std::fprintf(stderr, "newton-sim backup: --edit: %s\n", problem.c_str());
        return 2;
      }
    }
    for (ContentStore& store : content->stores) {
      if (!options.noNotesSoup || !store.isDefault) continue;
      std::erase_if(store.soups, [](const ContentSoup& soup) { return soup.name == "Notes"; });
    }
    stores.emplace(std::move(*content), backupFaults, clock);
  }

  std::error_code ignored;
  std::filesystem::create_directories(options.outDir, ignored);
  std::ofstream log(options.outDir + "/dock.log", std::ios::app);
  DockProtocol dock(faults, options.name, options.timing, options.identity, std::move(stores));
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
        case DockAction::Post:
          if (!stream.post(action.bytes)) goOn = false;
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
        case DockAction::EntryAdded: {
          // As the stores, soups and entries of --content are laid out, so that a later session can hold them.
          const std::filesystem::path folder = std::filesystem::path(options.outDir) / "added" / action.text;
          std::error_code made;
          std::filesystem::create_directories(folder, made);
          std::ofstream out(folder / (std::to_string(action.number) + ".nsof"), std::ios::binary | std::ios::trunc);
          out.write(reinterpret_cast<const char*>(action.bytes.data()), static_cast<std::streamsize>(action.bytes.size()));
          break;
        }
      }
    }
    return goOn;
  };

  bool linkUp = perform(dock.start());
  int quietMs = 0;
  std::uint8_t buffer[4096];
  while (linkUp) {
    // While a soup's entries stream, the Newton sends them and only looks for the desktop's cancel between them.
    const long n = stream.readSome(buffer, dock.streaming() ? 0 : kReadWaitMs);
    if (n < 0) break;  // the desktop disconnected
    linkUp = perform(dock.tick(steadyMs()));
    if (n == 0) {
      if (!dock.streaming()) quietMs += kReadWaitMs;
      if (quietMs >= kSilenceLimitMs) break;
      continue;
    }
    quietMs = 0;
    linkUp = linkUp && perform(dock.feed({buffer, static_cast<std::size_t>(n)}));
  }

  if (dock.keyboard().used()) {
    std::ofstream(options.outDir + "/typed.txt", std::ios::binary | std::ios::trunc) << dock.keyboard().textUtf8();
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
  return faults.dropAfter >= 0 || !backupFaults.dropInSoup.empty() ? 4 : 1;
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
         "      an install that takes MS before its \"dres\", with a \"helo\" every MS meanwhile\n"
         "  backup --out DIR [dock options] [--password TEXT] [--os1] [--content DIR | --entries N --seed S]\n"
         "       [--clock MINUTES] [--fail-soup SOUP] [--drop-in-soup SOUP:N] [--cancel-in-soup SOUP:N]\n"
         "       [--entry-ms MS] [--edit [STORE/]SOUP:changed=N,added=N,deleted=N[@MINUTES]]...\n"
         "       [--no-notes-soup] [--refuse-add N:CODE] [--screen-width PIXELS]\n"
         "      a Newton OS 2.x Newton's dock with an internal store and a card to back up: the stock soups\n"
         "      with about N generated entries each (default 12, seed 1), or the stores, soups and entries of\n"
         "      DIR as skiff's raw export writes them; its password TEXT (default: none set), or a Newton OS\n"
         "      1.x Newton (--os1); its clock in minutes since 1904; faults (first connection only): SOUP\n"
         "      fails (-48005), the line drops or the Newton cancels after N entries of SOUP; each entry\n"
         "      takes MS (a slow Newton); the user's changes to a soup (of the default store), in the order\n"
         "      given, each a minute before the clock or at MINUTES, as an incremental backup must find them;\n"
         "      the default store without a Notes soup, which \"cdsp\" makes; the N-th \"adde\" refused with\n"
         "      CODE (-10617 store full, -10605 write-protected; repeatable); the screen width its name frame\n"
         "      reports (default 320). Entries added are kept as DIR/added/STORE/SOUP/ID.nsof, the text typed\n"
         "      with kybd, kbdc and kbds as DIR/typed.txt\n";
}

int runDockRole(NewtonStream& stream, const RoleArgs& args) { return runDock(stream, args, false); }
int runBackupRole(NewtonStream& stream, const RoleArgs& args) { return runDock(stream, args, true); }

}  // namespace skiff::newton
