#include <cstdio>

#include "cli/commands.h"

namespace skiff::cli {

int cmdSend(int, char**) {
  std::fputs("skiff send: not available yet\n", stderr);
  return 2;
}

}  // namespace skiff::cli
