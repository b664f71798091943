// An archive filled straight from a simulated Newton's content, as a full backup of it would leave one: one run,
// every store with its frame, every soup with its info, indexes and entries. For the export's tests, and for
// end-to-end tests that compare a real backup of newton-sim with what it was given.
#pragma once

#include <cstdint>
#include <string>

#include "archive/archive.h"
#include "newton/content.h"

namespace skiff::test {

// The Newton an archive made here belongs to.
archive::NewtonIdentity simulatedNewton();

// Adds a full run of `content` to the archive; `completed` false leaves the run unfinished. The run, or the
// archive's failure.
archive::Result<archive::RunId> addContentRun(archive::Archive& archive, const newton::NewtonContent& content,
                                              bool completed = true);

// A new archive at `path` holding one full, completed run of the content; the archive's failure otherwise.
archive::Status writeContentArchive(const std::string& path, const newton::NewtonContent& content);

}  // namespace skiff::test
