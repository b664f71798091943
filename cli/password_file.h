// The Newton's password for a dock session, from a file: its first line. Like a private key, the file must be
// readable by its owner only; one that others can read is refused, with the reason.
#pragma once

#include <string>

namespace skiff::cli {

// True with the password in *password; else false with the reason in *problem ("FILE: permissions 0644 are
// too open ...", "FILE: No such file or directory").
bool readPasswordFile(const std::string& path, std::string* password, std::string* problem);

}  // namespace skiff::cli
