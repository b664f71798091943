// secure/: the Newton OS 2.x session as the command line's dock clients (backup, import, keyboard) open it.
//
// The Newton OS 2.x session as the command line opens it: the desktop's application frame, a fresh key of its
// own each session, and the password check with the key derived from the password (the empty one when the user
// gave none, which is what a Newton without a password uses).
#pragma once

#include <string>

#include "dock/session.h"

namespace skiff::secure {

// `password` is UTF-8.
dock::SessionSetup secureSession(dock::SessionType type, const std::string& password);

}  // namespace skiff::secure
