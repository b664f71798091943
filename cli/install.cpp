#include <cstdio>

#include "cli/commands.h"

namespace skiff::cli {

int cmdInstall(int, char**) {
  std::fputs("skiff install: not available yet\n", stderr);
  return 2;
}

}  // namespace skiff::cli
