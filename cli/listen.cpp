#include <cstdio>

#include "cli/commands.h"

namespace skiff::cli {

int cmdListen(int, char**) {
  std::fputs("skiff listen: not available yet\n", stderr);
  return 2;
}

}  // namespace skiff::cli
