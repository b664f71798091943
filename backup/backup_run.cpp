#include "backup/backup_run.h"

#include <deque>
#include <limits>

#include "backup/entry_slots.h"
#include "core/pipe_calls.h"
#include "core/pump.h"
#include "core/texts.h"
#include "dock/backup_ids.h"
#include "dock/nsof.h"
#include "dock/nsof_text.h"
#include "dock/session_driver.h"
#include "secure/secure_session.h"
#include "secure/session_opening.h"

namespace skiff::backup {

namespace {

constexpr std::int32_t kAnswerSilenceMs = 60000;        // the Newton said nothing at all for a minute
constexpr std::int32_t kAnswerLimitMs = 10 * 60 * 1000;  // a plain answer; a soup's entries may take hours
constexpr std::int32_t kStreamLimitMs = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kCancelWaitMs = 10000;           // entries still under way when we cancel, then "ocaa"
constexpr std::int32_t kWaitPassMs = 20;

bool linkUp(LinkOps& link, PipeHandle pipe) {
  const std::int32_t state = link.pipeState(pipe);
  return state == state::kConnected || state == state::kOutputBusy;
}

struct StoreListed {
  std::string name;
  std::string kind;
  std::uint32_t signature = 0;
  std::int64_t usedSize = 0;
  archive::Bytes frame;  // as NSOF
};

// How a wait for an answer ended.
enum class Heard { Answer, Failed, Unknown, Ended };

class BackupRun {
 public:
  BackupRun(Runtime& rt, BackupJob& job, BackupOutcome& outcome)
      : rt_(rt), job_(job), out_(outcome), session_(secure::secureSession(dock::SessionType::SettingUp, job.password)),
        driver_(rt, session_) {}

  std::int32_t run();

 private:
  std::int32_t open();
  bool backUpStores();
  bool backUpStore(const StoreListed& store);
  bool backUpSoup(archive::StoreId storeId, const std::string& store, const std::string& soup);
  bool soupEnded(SoupResult result, const archive::Result<archive::Counts>& counts);
  std::optional<std::vector<StoreListed>> listStores();

  // Asks and waits for the final answer: `answer` holds it (a "dres" in place of the data carries its result).
  // Items of a stream go to `onItem`. False when the backup is to end (outcome set).
  Heard ask(std::string_view command, std::span<const std::uint8_t> data, dock::Expect expect,
            dock::SessionEvent* answer, const std::function<bool(const dock::SessionEvent&)>& onItem = {});
  // The same in two steps, so that several requests can go before the first answer comes back (the Newton
  // answers them in turn): each is awaited in the order asked.
  struct Asked {
    dock::RequestId id;
    std::string command;
    bool stream;
  };
  Asked send(std::string_view command, std::span<const std::uint8_t> data, dock::Expect expect);
  Heard await(const Asked& asked, dock::SessionEvent* answer,
              const std::function<bool(const dock::SessionEvent&)>& onItem = {});
  bool ended(BackupEnd end, std::int32_t code = 0, std::string problem = {});
  void stopByUser();
  std::int32_t finish();
  void showProgress(const std::string& where);

  Runtime& rt_;
  BackupJob& job_;
  BackupOutcome& out_;
  dock::Session session_;
  dock::SessionDriver driver_;
  archive::Archive* archive_ = nullptr;
  std::optional<archive::RunId> run_;
  bool over_ = false;                       // the outcome's end is set
  std::deque<dock::SessionEvent> early_;    // answers that came while an earlier request was awaited
  std::int64_t received_ = 0;  // entry bytes
  std::int64_t entries_ = 0;
  std::int64_t estimate_ = 0;
};

// The opening (SESSION_RECONNECT when the caller did not open as a new session must); 0 with the outcome set
// when the session cannot go on.
std::int32_t BackupRun::open() {
  const secure::OpeningResult opened = secure::openSecureSession(driver_);
  out_.newton = session_.newtonName();
  switch (opened.how) {
    case secure::Opening::Reconnect: return SESSION_RECONNECT;
    case secure::Opening::Opened: break;
    case secure::Opening::PasswordRejected: ended(BackupEnd::PasswordRejected); break;
    case secure::Opening::OldNewton: ended(BackupEnd::OldNewton); break;
    case secure::Opening::Failed: ended(BackupEnd::LinkLost, opened.code); break;
  }
  return 0;
}

std::int32_t BackupRun::run() {
  rt_.app.bytesTotal = 0;
  rt_.app.transferPhase = 0;
  openTransferStatus(rt_, TextId::LookingForNewton);
  setStatusText(rt_.app, std::string("Connecting to the Newton..."));
  refreshStatus(rt_);
  if (const std::int32_t opened = open(); opened == SESSION_RECONNECT) return reconnectEnding(rt_);
  if (!over_) {
    const dock::NewtonName& name = *out_.newton;
    archive::Result<archive::Archive*> chosen = job_.archiveFor(name);
    if (!chosen.ok()) {
      ended(BackupEnd::NoArchive, 0, chosen.reason());
    } else {
      archive_ = *chosen;
      out_.archivePath = archive_->path();
    }
  }
  if (!over_) {
    dock::SessionEvent time;
    // "stme" 0 asks only for the Newton's clock, which the run keeps.
    if (ask("stme", dock::be32(0), {{"time"}, {}}, &time) == Heard::Answer) {
      const auto runs = archive_->runs();
      const bool incremental = !job_.full && runs.ok() && !runs->empty();
      const dock::NewtonName& name = *out_.newton;
      const archive::NewtonIdentity identity{name.uniqueId(), name.owner, name.data};
      const auto clock = time.frame.command == "time" ? static_cast<std::uint32_t>(dock::longOf(time.frame)) : 0u;
      auto run = archive_->beginRun(identity, clock, incremental ? archive::RunKind::Incremental : archive::RunKind::Full);
      if (!run.ok()) {
        ended(BackupEnd::ArchiveFailed, 0, run.reason());
      } else {
        run_ = *run;
        if (backUpStores()) ended(BackupEnd::Completed);
      }
    }
  }
  return finish();
}

std::optional<std::vector<StoreListed>> BackupRun::listStores() {
  dock::SessionEvent answer;
  if (ask("gsto", {}, {{"stor"}, {}}, &answer) != Heard::Answer) return std::nullopt;
  const nsof::Decoded decoded = nsof::decode(answer.frame.data);
  if (!decoded.ok()) {
    ended(BackupEnd::LinkLost, code::kBadConnection, "the Newton's list of stores: " + decoded.error->message());
    return std::nullopt;
  }
  std::vector<StoreListed> stores;
  for (const nsof::Node& frame : decoded.node().elements()) {
    StoreListed store;
    store.name = frame.slot("name").asText().value_or("");
    store.kind = frame.slot("kind").asText().value_or("");
    store.signature = static_cast<std::uint32_t>(frame.slot("signature").asInt().value_or(0));
    store.usedSize = frame.slot("UsedSize").asInt().value_or(0);
    store.frame = nsof::encode(decoded.graph, frame.value()).bytes;
    stores.push_back(std::move(store));
  }
  return stores;
}

bool BackupRun::backUpStores() {
  const auto stores = listStores();
  if (!stores) return false;
  for (const auto& store : *stores) estimate_ += store.usedSize;
  rt_.app.bytesTotal = static_cast<std::int32_t>(std::min<std::int64_t>(estimate_, 0x7FFFFFFF));
  for (const auto& store : *stores) {
    if (!backUpStore(store)) return false;
    ++out_.stores;
  }
  return true;
}

bool BackupRun::backUpStore(const StoreListed& store) {
  const auto stored = archive_->putStore(*run_, {store.name, store.signature, store.kind, store.frame});
  if (!stored.ok()) return ended(BackupEnd::ArchiveFailed, 0, stored.reason());
  nsof::Graph g;
  const nsof::Value which = g.frame({{"name", g.string(store.name)},
                                     {"kind", g.string(store.kind)},
                                     {"signature", nsof::Value::integer(static_cast<std::int32_t>(store.signature))}});
  dock::SessionEvent answer;
  if (ask("ssto", nsof::encode(g, which).bytes, {{"dres"}, {}}, &answer) != Heard::Answer) return false;
  if (answer.result != 0) {
    SoupResult failed{store.name, "", 0, 0, answer.result, false};
    out_.soups.push_back(failed);
    if (job_.onSoup) job_.onSoup(failed);
    return true;
  }
  if (ask("gets", {}, {{"soup"}, {}}, &answer) != Heard::Answer) return false;
  const nsof::DecodedStreams lists = nsof::decodeAll(answer.frame.data);
  if (!lists.ok() || lists.streams.empty()) return ended(BackupEnd::LinkLost, code::kBadConnection, "the Newton's list of soups");
  std::vector<std::string> soups;
  for (const nsof::Node& name : lists.node(0).elements()) soups.push_back(name.asText().value_or(""));
  for (const std::string& soup : soups) {
    if (soup.empty()) continue;
    if (!backUpSoup(*stored, store.name, soup)) return false;
  }
  return true;
}

bool BackupRun::soupEnded(SoupResult result, const archive::Result<archive::Counts>& counts) {
  if (!counts.ok()) return ended(BackupEnd::ArchiveFailed, 0, counts.reason());
  result.entries = counts->entries;
  result.added = counts->added;
  result.changed = counts->changed;
  result.deleted = counts->deleted;
  out_.soups.push_back(result);
  if (job_.onSoup) job_.onSoup(result);
  return true;
}

bool BackupRun::backUpSoup(archive::StoreId storeId, const std::string& store, const std::string& soup) {
  const std::string where = store + "/" + soup;
  showProgress(where);
  SoupResult result{store, soup};
  const auto failedSoup = [&](std::int32_t error) {
    result.error = error;
    out_.soups.push_back(result);
    if (job_.onSoup) job_.onSoup(result);
    return true;
  };
  // The soup's last copy, from any run (one that did not finish included: its soups are whole).
  std::optional<archive::SoupCopy> copy;
  if (!job_.full) {
    auto last = archive_->lastCompleteSoup(storeId, soup);
    if (!last.ok()) return ended(BackupEnd::ArchiveFailed, 0, last.reason());
    copy = *last;
  }
  result.incremental = copy.has_value();

  dock::SessionEvent answer;
  const std::vector<std::uint8_t> name = nsof::stringBytes(nsof::utf16FromUtf8(soup));
  if (ask("ssou", name, {{"dres"}, {}}, &answer) != Heard::Answer) return false;
  if (answer.result != 0) return failedSoup(answer.result);
  // Once the soup is chosen, the rest goes at once and the Newton answers each in turn: over a slow line (or
  // behind a USB adapter's latency) every answer waited for before the next question costs a round trip.
  std::vector<Asked> asked;
  if (copy) {
    // Changes count from the Newton's own clock at the last copy, whatever the desktop's clock says.
    asked.push_back(send("stme", dock::be32(copy->newtonTime), {{"time"}, {}}));
    asked.push_back(send("cinf", {}, {{"sinf"}, {}}));
    asked.push_back(send("cidx", {}, {{"indx"}, {}}));
    asked.push_back(send("bksp", dock::be32(copy->highestId.value_or(0)), {{"bsdn", "ndir"}, {"entr", "bids", "base"}}));
  } else {
    asked.push_back(send("gsin", {}, {{"sinf"}, {}}));
    asked.push_back(send("gind", {}, {{"indx"}, {}}));
    asked.push_back(send("snds", {}, {{"bsdn"}, {"entr"}}));
  }
  std::optional<archive::Bytes> info, indexes;
  std::int32_t refused = 0;  // the Newton's result in place of the info or the indexes of a new soup
  for (std::size_t i = 0; i + 1 < asked.size(); ++i) {
    if (await(asked[i], &answer) != Heard::Answer) return false;
    const std::string& command = answer.frame.command;
    if (command == "sinf") info = answer.frame.data;
    if (command == "indx") indexes = answer.frame.data;
    if (!copy && command == "dres" && refused == 0) refused = answer.result;
  }
  if (refused != 0) {
    // The entries asked for still come (or their refusal): taken and dropped, the soup not kept.
    if (await(asked.back(), &answer) != Heard::Answer) return false;
    return failedSoup(refused);
  }
  const auto span = [](const std::optional<archive::Bytes>& b) {
    return b ? std::optional<std::span<const std::uint8_t>>(*b) : std::nullopt;
  };
  auto writer = archive_->beginSoup(*run_, storeId, soup, span(info), span(indexes),
                                    copy ? archive::SoupMethod::Incremental : archive::SoupMethod::Full);
  if (!writer.ok()) return ended(BackupEnd::ArchiveFailed, 0, writer.reason());

  std::uint32_t stray = 0;  // entries without an ID of their own: kept under IDs no Newton gives
  std::uint32_t base = 0;   // what the IDs of the next "bids" count from
  std::optional<archive::Status> writeFailed;
  const auto onItem = [&](const dock::SessionEvent& e) {
    archive::Status written;
    if (e.frame.command == "base") {
      base = static_cast<std::uint32_t>(dock::longOf(e.frame));
      return true;
    }
    if (e.frame.command == "bids") {
      // The frame reader took the words up to their end; their padding went with the frame.
      std::vector<std::uint8_t> words = e.frame.data;
      words.resize(words.size() + dock::padFor(words.size()), 0);
      const dock::DecodedBackupIds ids = dock::decodeBackupIds(words, base);
      written = ids.ok() ? writer->stillPresent(ids.ids)
                         : archive::Status(archive::Failure{archive::Problem::BadFile, "the Newton's IDs: " + ids.error});
    } else {
      const EntrySlots slots = entrySlots(e.frame.data);
      written = writer->addEntry(slots.uniqueId.value_or(kStrayIdBase + stray++), slots.modTime, e.frame.data);
      result.bytes += static_cast<std::int64_t>(e.frame.data.size());
      received_ += static_cast<std::int64_t>(e.frame.data.size());
      ++entries_;
    }
    if (!written.ok()) {
      writeFailed = written;
      return false;
    }
    showProgress(where);
    return true;
  };
  const Heard heard = await(asked.back(), &answer, onItem);
  if (writeFailed) return ended(BackupEnd::ArchiveFailed, 0, writeFailed->reason());
  if (heard != Heard::Answer) return false;
  if (answer.frame.command == "ndir") {
    result.unchanged = true;
    if (const archive::Status same = writer->unchanged(); !same.ok()) return ended(BackupEnd::ArchiveFailed, 0, same.reason());
  } else if (answer.frame.command != "bsdn") {
    return failedSoup(answer.result);  // nothing of the soup is kept
  }
  return soupEnded(result, writer->commit());
}

BackupRun::Asked BackupRun::send(std::string_view command, std::span<const std::uint8_t> data, dock::Expect expect) {
  const bool stream = !expect.items.empty();
  return {session_.ask(command, data, std::move(expect)), std::string(command), stream};
}

Heard BackupRun::ask(std::string_view command, std::span<const std::uint8_t> data, dock::Expect expect,
                     dock::SessionEvent* answer, const std::function<bool(const dock::SessionEvent&)>& onItem) {
  return await(send(command, data, std::move(expect)), answer, onItem);
}

Heard BackupRun::await(const Asked& asked, dock::SessionEvent* answer,
                       const std::function<bool(const dock::SessionEvent&)>& onItem) {
  std::optional<Heard> heard;
  bool stopItems = false;  // no more items are wanted: the archive failed or the user stopped
  const auto look = [&] {
    while ((!early_.empty() || session_.hasEvent()) && !heard) {
      dock::SessionEvent e;
      if (!early_.empty()) {
        e = std::move(early_.front());
        early_.pop_front();
      } else {
        e = session_.nextEvent();
      }
      if ((e.kind == dock::SessionEvent::Reply || e.kind == dock::SessionEvent::Unknown) && e.request > asked.id) {
        early_.push_back(std::move(e));  // the answer to a request asked after this one: its own wait takes it
        continue;
      }
      switch (e.kind) {
        case dock::SessionEvent::Reply:
          if (e.request != asked.id) break;
          if (!e.final) {
            if (!stopItems && onItem && !onItem(e)) {
              stopItems = true;
              session_.cancel();  // the archive cannot take more: the Newton stops between entries
            }
            break;
          }
          *answer = std::move(e);
          heard = Heard::Answer;
          break;
        case dock::SessionEvent::Unknown:
          if (e.request == asked.id) heard = Heard::Unknown;
          break;
        case dock::SessionEvent::NewtonCancelled:
          ended(BackupEnd::NewtonCancelled);
          heard = Heard::Ended;
          break;
        case dock::SessionEvent::Cancelled:
          heard = Heard::Ended;
          break;
        case dock::SessionEvent::NewtonHungUp:
          ended(BackupEnd::LinkLost, code::kDisconnected);
          heard = Heard::Ended;
          break;
        default:
          break;
      }
    }
    if (!heard && rt_.app.abortRequested && !over_) {
      stopItems = true;
      stopByUser();
      heard = Heard::Ended;
    }
    return heard.has_value();
  };
  if (over_) return Heard::Ended;
  const WaitBounds bounds{asked.stream ? kStreamLimitMs : kAnswerLimitMs, kAnswerSilenceMs, true, kWaitPassMs};
  const std::int32_t status = driver_.waitFor(look, bounds);
  if (status != 0) {
    ended(BackupEnd::LinkLost, status);
    return Heard::Failed;
  }
  if (*heard == Heard::Unknown) ended(BackupEnd::LinkLost, code::kBadConnection, "the Newton does not know '" + asked.command + "'");
  return *heard;
}

// Ctrl-C: the Newton is asked to stop; it does so between entries and acknowledges, and what comes meanwhile is
// dropped. The soup under way is not kept.
void BackupRun::stopByUser() {
  ended(BackupEnd::Stopped);
  session_.cancel();
  (void)driver_.waitFor([this] { return !session_.cancelling(); }, WaitBounds{kCancelWaitMs, 0, true, kWaitPassMs});
}

bool BackupRun::ended(BackupEnd end, std::int32_t code, std::string problem) {
  if (over_) return false;
  over_ = true;
  out_.end = end;
  out_.code = code;
  out_.problem = std::move(problem);
  return false;
}

// The soup is the stage; the entries and bytes so far are the count, against the stores' used size.
void BackupRun::showProgress(const std::string& where) {
  rt_.app.transferPhase = static_cast<std::int32_t>(
      std::min<std::int64_t>({received_, estimate_ > 0 ? estimate_ : received_, 0x7FFFFFFF}));
  rt_.app.batch.entriesReceived = entries_;
  setStatusText(rt_.app, "Backing up " + where);
  refreshStatus(rt_);
}

std::int32_t BackupRun::finish() {
  const bool linkFine = out_.end != BackupEnd::LinkLost && linkUp(rt_.link, rt_.app.pipe);
  if (linkFine) {
    if (out_.end == BackupEnd::Completed) session_.tell("opdn");
    session_.hangUp();
    (void)driver_.send();  // a Newton may hang up as soon as "disc" reaches it
  }
  if (run_) {
    const archive::Status finished = archive_->finishRun(*run_, out_.end == BackupEnd::Completed);
    if (!finished.ok() && out_.end == BackupEnd::Completed) {
      out_.end = BackupEnd::ArchiveFailed;
      out_.problem = finished.reason();
    }
  }
  setStatusText(rt_.app, LoadText(TextId::Disconnecting));
  refreshStatus(rt_);
  rt_.app.transferPhase = -1;
  rt_.link.pipeDisconnect(rt_.app.pipe);
  return out_.end == BackupEnd::LinkLost ? out_.code : 0;
}

}  // namespace

std::int32_t runBackup(Runtime& rt, BackupJob& job, BackupOutcome& outcome) {
  BackupRun run(rt, job, outcome);
  return run.run();
}

}  // namespace skiff::backup
