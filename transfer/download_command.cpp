#include "transfer/download_command.h"

namespace skiff {

std::int32_t runDownloadCommand(Runtime&) { return 0; }

}  // namespace skiff
