#include "export/readable_export.h"

#include <array>
#include <map>
#include <optional>
#include <string_view>

#include "dock/nsof.h"
#include "export/export_run.h"
#include "export/export_time.h"
#include "export/file_names.h"
#include "export/icalendar.h"
#include "export/newton_text.h"
#include "export/note_text.h"
#include "export/private_files.h"
#include "export/vcard.h"

namespace skiff::exporting {
namespace {

enum class Kind { Notes, Names, Meetings, ToDos, Packages };

// The stock soups that have a readable form, by the names a Newton sends (the To Do List's soup is "To do" on
// some units and "To Do List" on others).
std::optional<Kind> kindOfSoup(std::string_view soup) {
  static constexpr std::array<std::pair<std::string_view, Kind>, 9> kSoups = {{
      {"Notes", Kind::Notes},
      {"Names", Kind::Names},
      {"Calendar", Kind::Meetings},
      {"Repeat Meetings", Kind::Meetings},
      {"Calendar Notes", Kind::Meetings},
      {"Repeat Notes", Kind::Meetings},
      {"To do", Kind::ToDos},
      {"To Do List", Kind::ToDos},
      {"Packages", Kind::Packages},
  }};
  for (const auto& [name, kind] : kSoups)
    if (name == soup) return kind;
  return std::nullopt;
}

std::string plural(int count, std::string_view one, std::string_view many) {
  return std::to_string(count) + " " + std::string(count == 1 ? one : many);
}

class Exporter {
 public:
  Exporter(archive::Archive& archive, archive::RunId run, std::string dir)
      : archive_(archive), run_(run), dir_(std::move(dir)) {}

  ExportReport run() {
    if (!fatal(makePrivateFolder(dir_, true))) return report_;
    auto stores = archive_.stores(run_);
    auto soups = archive_.soups(run_);
    if (!stores || !soups) {
      report_.problems.push_back(!stores ? stores.reason() : soups.reason());
      return report_;
    }
    std::map<std::string, std::int64_t> leftOut;  // soups with no readable form: their entries stay in the archive
    for (const archive::StoreRecord& store : *stores)
      for (const archive::SoupSummary& soup : *soups) {
        if (!(soup.store == store.id)) continue;
        const auto kind = kindOfSoup(soup.name);
        if (!kind) {
          leftOut[soup.name] += soup.counts.entries;
          continue;
        }
        if (!exportSoup(store, soup.name, *kind)) return report_;
      }
    if (!vcards_.empty() && !fatal(writePrivateFile(dir_ + "/names.vcf", vcards_))) return report_;
    if (!calendar_.empty() && !fatal(writePrivateFile(dir_ + "/dates.ics", calendarStart() + calendar_ + calendarEnd())))
      return report_;
    std::int64_t entries = 0;
    std::string names;
    for (const auto& [name, count] : leftOut) {
      entries += count;
      names += (names.empty() ? "" : ", ") + name;
    }
    if (entries > 0)
      report_.notices.push_back(std::to_string(entries) + " entries of " + names +
                                " have no readable form and stay in the archive ('skiff export --raw' writes them)");
    return report_;
  }

 private:
  // False, with the problem kept, when the export cannot go on (a folder or file that cannot be written).
  bool fatal(const std::string& problem) {
    if (problem.empty()) return true;
    report_.problems.push_back(problem);
    return false;
  }

  bool exportSoup(const archive::StoreRecord& store, const std::string& soup, Kind kind) {
    auto cursor = archive_.entries(run_, store.id, soup);
    if (!cursor) {
      report_.problems.push_back(cursor.reason());
      return true;
    }
    while (cursor->next()) {
      const std::uint32_t id = cursor->entry().uniqueId;
      const std::string place = entryPlace(store.name, soup, id);
      auto bytes = cursor->bytes();
      if (!bytes) {
        report_.problems.push_back(place + ": not exported: " + bytes.reason());
        continue;
      }
      const nsof::Decoded decoded = nsof::decode(*bytes);
      if (!decoded.ok()) {
        report_.problems.push_back(place + ": not exported: it does not decode: " + decoded.error->message());
        continue;
      }
      const std::string uid = entryUid(store.signature, soup, id);
      std::string problem;
      switch (kind) {
        case Kind::Notes: problem = addNote(decoded.node(), id); break;
        case Kind::Names: problem = addCard(decoded.node(), uid); break;
        case Kind::Meetings:
        case Kind::ToDos: problem = addDates(decoded.node(), uid, kind); break;
        case Kind::Packages: problem = addPackage(decoded.node(), id); break;
      }
      if (stopped_) return false;
      if (!problem.empty()) report_.problems.push_back(place + ": not exported: " + problem);
    }
    if (!cursor->status().ok()) report_.problems.push_back(cursor->status().reason());
    return true;
  }

  // Makes the subfolder the first time; false (the export stopped) when it cannot.
  bool folder(const std::string& name, bool& made) {
    if (made) return true;
    made = true;
    stopped_ = !fatal(makePrivateFolder(dir_ + "/" + name, false));
    return !stopped_;
  }

  std::string addNote(const nsof::Node& entry, std::uint32_t id) {
    NoteResult result = noteText(entry);
    if (!result.note) return result.problem;
    if (!folder("notes", notesMade_)) return {};
    const NoteText& note = *result.note;
    const std::string path = dir_ + "/notes/" +
                             noteNames_.take(note.name, note.markdown ? ".md" : ".txt", "Note " + std::to_string(id));
    if (!fatal(writePrivateFile(path, note.text))) {
      stopped_ = true;
      return {};
    }
    if (note.date)
      if (const auto time = desktopTime(*note.date))
        if (std::string problem = setModificationTime(path, *time); !problem.empty()) return problem;
    ++report_.counts.notes;
    return {};
  }

  std::string addCard(const nsof::Node& entry, const std::string& uid) {
    CardResult card = vcardOf(entry, uid);
    if (card.vcard.empty()) return card.problem;
    vcards_ += card.vcard;
    ++report_.counts.cards;
    return {};
  }

  std::string addDates(const nsof::Node& entry, const std::string& uid, Kind kind) {
    const auto modTime = entry.slot("_modTime").asInt();
    const auto start = kind == Kind::ToDos ? entry.slot("date").asInt() : entry.slot("mtgStartDate").asInt();
    const std::string stamp = utcStamp(modTime ? *modTime : start.value_or(0));
    const Components made =
        kind == Kind::ToDos ? toDoComponents(entry, uid, stamp) : meetingComponents(entry, uid, stamp);
    if (!made.problem.empty()) return made.problem;
    calendar_ += made.text;
    ++report_.counts.events;
    return {};
  }

  std::string addPackage(const nsof::Node& entry, std::uint32_t id) {
    const nsof::Node data = entry.slot("pkgRef");
    if (const nsof::LargeBinary* large = data.largeBinary(); large != nullptr && (large->compressed || !large->compander.empty()))
      return "its package is compressed (" + (large->compander.empty() ? std::string("no compander named") : large->compander) +
             "); the raw export keeps it as the Newton sent it";
    const auto bytes = data.bytes();
    const std::string_view signature(reinterpret_cast<const char*>(bytes.data()), std::min<std::size_t>(bytes.size(), 8));
    if (signature != "package0" && signature != "package1") return "its pkgRef holds no package";
    if (!folder("packages", packagesMade_)) return {};
    const std::string name = textOf(entry.slot("packageName"), " ").value_or("");
    const std::string path = dir_ + "/packages/" + packageNames_.take(name, ".pkg", "Package " + std::to_string(id));
    if (!fatal(writePrivateFile(path, bytes))) {
      stopped_ = true;
      return {};
    }
    ++report_.counts.packages;
    return {};
  }

  archive::Archive& archive_;
  archive::RunId run_;
  std::string dir_;
  ExportReport report_;
  FileNamer noteNames_, packageNames_;
  bool notesMade_ = false, packagesMade_ = false, stopped_ = false;
  std::string vcards_, calendar_;
};

}  // namespace

ExportReport exportReadable(archive::Archive& archive, archive::RunId run, const std::string& dir) {
  return Exporter(archive, run, dir).run();
}

std::string summaryLine(const ExportCounts& counts, const std::string& dir) {
  return "Exported " + plural(counts.notes, "note", "notes") + ", " + plural(counts.cards, "card", "cards") + ", " +
         plural(counts.events, "event", "events") + ", " + plural(counts.packages, "package", "packages") + " to " + dir;
}

}  // namespace skiff::exporting
