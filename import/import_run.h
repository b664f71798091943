// Text files into the Notes soup of the Newton's default store over a Newton OS 2.x dock session: "sdef", then
// "ssou" "Notes" ("cdsp" first makes the soup from the Newton's own definition of it where that store has none),
// then one "adde" per note, each answered with the new entry's ID ("adid") or a refusal ("dres"). A refusal (a
// full store, a write-protected card) stops only that note; the Newton's cancel, the user's stop or a lost line
// end the import.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/shell_ops.h"
#include "dock/desktop_text.h"
#include "dock/newton_name.h"

namespace skiff::import {

struct ImportFile {
  std::string path;                                   // as typed; reports name it
  dock::TextEncoding encoding = dock::TextEncoding::Utf8;  // as checkTextFile found it
};

struct NoteResult {
  std::string path;
  std::string title;               // UTF-8
  int number = 1;                  // of the file's notes, from 1
  std::size_t units = 0;           // UTF-16 units of its text
  std::optional<std::int32_t> id;  // the Newton's ID of the new entry
  std::int32_t refusal = 0;        // the Newton's result in place of an ID
  std::string problem;             // the file could not be read (no note of it went from here on)
  bool imported() const { return id.has_value(); }
};

enum class ImportEnd {
  Completed,         // every note of every file was offered (some may have been refused)
  NoNotesSoup,       // the default store or its Notes soup could not be chosen: `code`, `problem` says which
  NewtonCancelled,   // the Newton's "opca"
  Stopped,           // the user's stop, between notes
  LinkLost,          // the line or a link call failed: `code`
  PasswordRejected,  // the Newton's password is not the one given
  OldNewton,         // a Newton OS 1.x Newton: no soups over this session
};

struct ImportOutcome {
  ImportEnd end = ImportEnd::LinkLost;
  std::int32_t code = 0;
  std::string problem;
  std::vector<NoteResult> notes;
  std::optional<dock::NewtonName> newton;
};

struct ImportJob {
  std::vector<ImportFile> files;
  std::string password;                         // UTF-8; empty: the Newton has none
  std::function<void(const NoteResult&)> onNote;  // each note as it is answered; may be empty
  std::function<std::time_t()> clock;           // the notes' date; empty: this computer's clock
};

// Requires a connected pipe. SESSION_RECONNECT when the Newton did not open as a new session must; else 0, with
// the outcome filled in (a failure of the link is in outcome.code as well).
std::int32_t runImport(Runtime& rt, ImportJob& job, ImportOutcome& outcome);

// True when every note of every file went in.
bool everyNoteImported(const ImportOutcome& outcome);

}  // namespace skiff::import
