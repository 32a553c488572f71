// The user's profile store on Linux: the GUI's INI file.
#include "config/IniProfileStore.h"
#include "config/UserProfileStore.h"

namespace quorvel {

std::unique_ptr<ProfileStore> OpenUserProfileStore(std::string& where) {
    where = IniProfileStore::UserStorePath();
    return std::make_unique<IniProfileStore>(where);
}

}  // namespace quorvel
