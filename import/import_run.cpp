#include "import/import_run.h"

#include "core/pipe_calls.h"
#include "core/pump.h"
#include "core/texts.h"
#include "dock/nsof.h"
#include "dock/session_driver.h"
#include "import/note_frame.h"
#include "import/note_split.h"
#include "import/text_file.h"
#include "secure/secure_session.h"
#include "secure/session_opening.h"

namespace skiff::import {

namespace {

constexpr std::int32_t kAnswerSilenceMs = 60000;        // the Newton said nothing at all for a minute
constexpr std::int32_t kAnswerLimitMs = 10 * 60 * 1000;  // a Newton busy with its store still answers within this
constexpr std::int32_t kWaitPassMs = 20;
constexpr std::int32_t kSoupNotFound = -28015;
constexpr char kNotesSoup[] = "Notes";

bool linkUp(LinkOps& link, PipeHandle pipe) {
  const std::int32_t state = link.pipeState(pipe);
  return state == state::kConnected || state == state::kOutputBusy;
}

class ImportRun {
 public:
  ImportRun(Runtime& rt, ImportJob& job, ImportOutcome& outcome)
      : rt_(rt), job_(job), out_(outcome),
        session_(secure::secureSession(dock::SessionType::SettingUp, job.password)), driver_(rt, session_) {}

  std::int32_t run();

 private:
  bool open();
  bool chooseNotesSoup();
  bool importFile(const ImportFile& file);
  // Asks and waits for the answer, which a "dres" in place of the data carries as its result. False when the
  // import is to end (the outcome set).
  bool ask(std::string_view command, std::span<const std::uint8_t> data, std::string reply, dock::SessionEvent* answer);
  bool askResult(std::string_view command, std::span<const std::uint8_t> data, std::int32_t* result);
  bool ended(ImportEnd end, std::int32_t code = 0, std::string problem = {});
  void report(NoteResult note);
  std::int32_t finish();

  Runtime& rt_;
  ImportJob& job_;
  ImportOutcome& out_;
  dock::Session session_;
  dock::SessionDriver driver_;
  bool over_ = false;
  int screenWidth_ = 320;
};

bool ImportRun::open() {
  const secure::OpeningResult opened = secure::openSecureSession(driver_);
  out_.newton = session_.newtonName();
  if (out_.newton) screenWidth_ = noteWidth(out_.newton->screenWidth());
  switch (opened.how) {
    case secure::Opening::Opened: return true;
    case secure::Opening::Reconnect: return false;
    case secure::Opening::PasswordRejected: return ended(ImportEnd::PasswordRejected);
    case secure::Opening::OldNewton: return ended(ImportEnd::OldNewton);
    case secure::Opening::Failed: return ended(ImportEnd::LinkLost, opened.code);
  }
  return false;
}

std::int32_t ImportRun::run() {
  rt_.app.bytesTotal = 0;
  rt_.app.transferPhase = 0;
  openTransferStatus(rt_, TextId::LookingForNewton);
  setStatusText(rt_.app, std::string("Connecting to the Newton..."));
  refreshStatus(rt_);
  if (!open() && !over_) return reconnectEnding(rt_);
  if (!over_ && chooseNotesSoup()) {
    for (const ImportFile& file : job_.files) {
      if (rt_.app.abortRequested) {
        ended(ImportEnd::Stopped);
        break;
      }
      if (!importFile(file)) break;
    }
    ended(ImportEnd::Completed);
  }
  return finish();
}

// The Notes soup of the store the user chose as the default (internal or card). A card without one gets it from
// the soup definition the Newton's ROM registers ("cdsp", the Dante Connection Protocol ERS).
bool ImportRun::chooseNotesSoup() {
  std::int32_t result = 0;
  if (!askResult("sdef", {}, &result)) return false;
  if (result != 0) return ended(ImportEnd::NoNotesSoup, result, "the Newton's default store");
  const std::vector<std::uint8_t> name = nsof::stringBytes(nsof::utf16FromUtf8(kNotesSoup));
  if (!askResult("ssou", name, &result)) return false;
  if (result == kSoupNotFound) {
    if (!askResult("cdsp", name, &result)) return false;
    if (result != 0) return ended(ImportEnd::NoNotesSoup, result, "making the Notes soup on the default store");
    if (!askResult("ssou", name, &result)) return false;
  }
  if (result != 0) return ended(ImportEnd::NoNotesSoup, result, "the Notes soup of the default store");
  return true;
}

bool ImportRun::importFile(const ImportFile& file) {
  NoteReader reader(file.path, file.encoding);
  const std::u16string name = titleOfFile(file.path);
  int number = 0;
  while (std::optional<std::u16string> text = reader.next()) {
    ++number;
    NoteResult note;
    note.path = file.path;
    const std::u16string title = noteTitle(name, number);
    note.title = nsof::utf8FromUtf16(title);
    note.number = number;
    note.units = text->size();
    setStatusText(rt_.app, "Importing " + note.title);
    refreshStatus(rt_);
    const std::time_t now = job_.clock ? job_.clock() : std::time(nullptr);
    const std::vector<std::uint8_t> frame = plainNoteFrame({title, *text, newtonTimeNow(now), screenWidth_});
    dock::SessionEvent answer;
    if (!ask("adde", frame, "adid", &answer)) return false;
    if (answer.frame.command == "adid") {
      note.id = dock::longOf(answer.frame);
    } else {
      note.refusal = answer.result;
    }
    report(std::move(note));
    if (rt_.app.abortRequested) return ended(ImportEnd::Stopped);
  }
  if (!reader.problem().empty()) {
    NoteResult failed;
    failed.path = file.path;
    failed.title = nsof::utf8FromUtf16(noteTitle(name, number + 1));
    failed.number = number + 1;
    failed.problem = reader.problem();
    report(std::move(failed));
  }
  return true;
}

void ImportRun::report(NoteResult note) {
  if (job_.onNote) job_.onNote(note);
  out_.notes.push_back(std::move(note));
}

bool ImportRun::askResult(std::string_view command, std::span<const std::uint8_t> data, std::int32_t* result) {
  dock::SessionEvent answer;
  if (!ask(command, data, "dres", &answer)) return false;
  *result = answer.result;
  return true;
}

bool ImportRun::ask(std::string_view command, std::span<const std::uint8_t> data, std::string reply,
                    dock::SessionEvent* answer) {
  const dock::RequestId id = session_.ask(command, data, {{std::move(reply)}, {}});
  bool heard = false;
  const auto look = [&] {
    while (session_.hasEvent() && !heard && !over_) {
      dock::SessionEvent e = session_.nextEvent();
      switch (e.kind) {
        case dock::SessionEvent::Reply:
          if (e.request != id) break;
          *answer = std::move(e);
          heard = true;
          break;
        case dock::SessionEvent::Unknown:
          if (e.request == id)
            ended(ImportEnd::LinkLost, code::kBadConnection, "the Newton does not know '" + std::string(command) + "'");
          break;
        case dock::SessionEvent::NewtonCancelled:
          ended(ImportEnd::NewtonCancelled);
          break;
        case dock::SessionEvent::NewtonHungUp:
          ended(ImportEnd::LinkLost, code::kDisconnected);
          break;
        default:
          break;
      }
    }
    return heard || over_;
  };
  const std::int32_t status = driver_.waitFor(look, WaitBounds{kAnswerLimitMs, kAnswerSilenceMs, true, kWaitPassMs});
  if (status != 0) return ended(ImportEnd::LinkLost, status);
  return heard;
}

bool ImportRun::ended(ImportEnd end, std::int32_t code, std::string problem) {
  if (over_) return false;
  over_ = true;
  out_.end = end;
  out_.code = code;
  out_.problem = std::move(problem);
  return false;
}

std::int32_t ImportRun::finish() {
  if (out_.end != ImportEnd::LinkLost && linkUp(rt_.link, rt_.app.pipe)) {
    // The end of the operation, then of the session; a Newton may hang up as soon as "disc" reaches it.
    if (out_.end == ImportEnd::Completed) session_.tell("opdn");
    session_.hangUp();
    (void)driver_.send();
  }
  setStatusText(rt_.app, LoadText(TextId::Disconnecting));
  refreshStatus(rt_);
  rt_.app.transferPhase = -1;
  rt_.link.pipeDisconnect(rt_.app.pipe);
  return out_.end == ImportEnd::LinkLost ? out_.code : 0;
}

}  // namespace

std::int32_t runImport(Runtime& rt, ImportJob& job, ImportOutcome& outcome) {
  ImportRun run(rt, job, outcome);
  return run.run();
}

bool everyNoteImported(const ImportOutcome& outcome) {
  if (outcome.end != ImportEnd::Completed) return false;
  for (const NoteResult& note : outcome.notes)
    if (!note.imported()) return false;
  return true;
}

}  // namespace skiff::import
