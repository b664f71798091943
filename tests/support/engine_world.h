// Everything an engine test runs against: a fresh AppState, the scripted link and the recording shell on one
// virtual clock, and the Runtime joining them. Test fixtures inherit it.
#pragma once

#include "core/shell_ops.h"
#include "tests/support/fake_shell.h"
#include "tests/support/scripted_link.h"
#include "tests/support/virtual_clock.h"

namespace skiff::test {

struct EngineWorld {
  VirtualClock clock;
  AppState app;
  ScriptedLink link{clock};
  FakeShell shell{app, clock};
  Runtime rt{app, link, shell};
};

}  // namespace skiff::test
