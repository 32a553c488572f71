#pragma once

#include <memory>
#include <string>

#include "config/ProfileStore.h"

namespace quorvel {

// The per-user profile store the GUI writes, opened for reading by a program
// without the GUI's library: the INI file on Linux, the registry key
// HKEY_CURRENT_USER\Software\Quorvel\Quorvel on Windows. `where` says which.
// One per platform.
std::unique_ptr<ProfileStore> OpenUserProfileStore(std::string& where);

}  // namespace quorvel
