// package/: the Download Package command, the dock loader it runs and the dock frames they read and write.
//
// The Download Package command: choose one package, connect at the package speed, load it through the dock.
#pragma once

#include <cstdint>

#include "core/shell_ops.h"
#include "package/package_loader.h"

namespace skiff {

// Returns 0, or a link status code for the main window's "Error -- " report.
std::int32_t runPackageCommand(Runtime& rt);

// One load over a connected pipe, its report shown once it ended (loadPackages without a batch).
std::int32_t runPackageLoad(Runtime& rt);
// Several over one session: a refusal is shown as its package ends ("NAME: Process aborted by Newton. ..."),
// the rest of the report once the load ended.
std::int32_t runPackageBatch(Runtime& rt, PackageBatch& batch);

// The packages of `batch`, in order, over one connection made at the package speed (made again while the
// Newton's opening frame does not come). app.batch counts them. Returns as runPackageCommand.
std::int32_t runPackageBatchCommand(Runtime& rt, PackageBatch& batch);

}  // namespace skiff
