// backup/: getting the owner's data off the Newton over a Newton OS 2.x dock session: the session as the command
// line's dock clients open it, and the backup into the archive.
//
// The Newton OS 2.x session as the command line opens it: the desktop's application frame, a fresh key of its
// own each session, and the password check with the key derived from the password (the empty one when the user
// gave none, which is what a Newton without a password uses).
#pragma once

#include <string>

#include "dock/session.h"

namespace skiff::backup {

// `password` is UTF-8.
dock::SessionSetup secureSession(dock::SessionType type, const std::string& password);

}  // namespace skiff::backup
