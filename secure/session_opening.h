// The opening of a Newton OS 2.x session as a dock client waits for it: the Newton's "rtdk" within one read's
// time, then the exchange up to the password, and what came of it.
#pragma once

#include <cstdint>

#include "dock/session_driver.h"

namespace skiff::secure {

enum class Opening {
  Opened,            // the session is up with a Newton OS 2.x Newton
  Reconnect,         // the caller did not open as a new session must: listen again (SESSION_RECONNECT)
  PasswordRejected,  // the Newton's password is not the one given
  OldNewton,         // a Newton OS 1.x Newton: only the package loader's session
  Failed,            // the line or a link call failed (`code`), or the Newton refused a step or hung up
};

struct OpeningResult {
  Opening how = Opening::Failed;
  std::int32_t code = 0;  // Failed: the link's status, or code::kBadConnection
};

OpeningResult openSecureSession(dock::SessionDriver& driver);

}  // namespace skiff::secure
