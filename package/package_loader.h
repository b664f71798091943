// Loads one package into the Newton over the dock protocol: opening frame, dock and time-out frames, the
// package announced with "newtdocklpkg" and streamed in 2048-byte chunks, the Newton's install result, and
// "newtdockdisc".
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/shell_ops.h"

namespace skiff {

inline constexpr std::int32_t kPackageChunkSize = 2048;
inline constexpr std::int32_t kPackagePieceSize = 204;   // with more background time
inline constexpr std::int32_t kDockStimSeconds = 30;     // what the Newton is told to wait for us
// The longest a chunk's completion or the output drain may take before the loader gives up. It lies beyond the
// link's own bounds (a dead line after its retries, a Newton busy for 60 s), so the link says what went wrong.
inline constexpr std::int32_t kDockWaitLimitMs = 90000;

// The wait for the Newton's install result after the closing pause: every frame from the Newton ("helo"
// included) restarts it, and it ends after the "stim" time of silence or at this overall bound, which grows with
// the package (installing a large one takes a Newton minutes).
std::int32_t installWaitLimitMs(std::int32_t packageLength);

// Several packages over one connection: after the Newton's result for one, the next "newtdocklpkg" follows.
struct PackageToLoad {
  std::string path;
  std::string name;  // how reports name it
};
enum class PackageFate { NotSent, Installed, Refused, Failed, Stopped };
struct PackageOutcome {
  PackageFate fate = PackageFate::NotSent;
  std::string detail;     // Refused: the Newton's result as text, e.g. "-10401 (bad package)"
  std::int64_t bytes = 0;  // the package's length
};
struct PackageBatch {
  std::vector<PackageToLoad> packages;
  // The next chunk is written while the one before it still waits for its acknowledgements, so that the line
  // never waits for the loader (an LA held in a USB adapter's buffer costs more than a frame at high speeds).
  bool streamAhead = false;
  std::vector<PackageOutcome> outcomes;  // one for each package, filled as each ends
  std::function<void(std::size_t index, const PackageOutcome&)> onOutcome;  // may be empty
};

// What a load found to tell the user, in order. The loader shows nothing itself; the command reports.
struct LoadReport {
  std::vector<std::string> texts;
};

// Requires a connected pipe. Without a batch it loads the package open in app.openFile: 0 when it went and the
// Newton installed it (or the user aborted), SESSION_RECONNECT when the opening frame did not come (nothing was
// sent and the file stays open), or a non-zero status code; a refusal or cancel by the Newton goes into the
// report ("Process aborted by Newton." with the Newton's result) and returns code::kAborted. With a batch it
// opens each package itself and goes on after a package the Newton refused once all of it went; a refusal or
// cancel that stops the session is reported with the package's name and returns 0. Every package's fate is in
// batch->outcomes (those not sent stay NotSent).
std::int32_t loadPackages(Runtime& rt, PackageBatch* batch, LoadReport& report);

// Completion routine of the chunk writes: clears the flag whose address the write handed the link as its
// reference value (the loader's writePending); the status is not looked at.
void onChunkWritten(std::int32_t status, std::intptr_t refCon);

}  // namespace skiff
