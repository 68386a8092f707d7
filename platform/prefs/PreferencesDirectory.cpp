#include "platform/prefs/PreferencesDirectory.h"

#include <unistd.h>

#include "platform/vmac/AtomicFile.h"

namespace lidora::vmac {

PreferencesDirectory PreferencesDirectory::ofCurrentUser(const VmacPaths& paths) {
    // Root's home is var/root, which needs no shared ancestor.
    return PreferencesDirectory(paths.preferencesOfCurrentUser(),
                                ::geteuid() == 0 ? std::filesystem::path() : paths.root() / "Users");
}

Expected<void, std::string> PreferencesDirectory::create() const {
    if (!sharedParent_.empty() && !makeSharedDirectory(sharedParent_)) {
        return unexpected(systemError("cannot create folder", sharedParent_));
    }
    if (!makeDirectories(path_)) {
        return unexpected(systemError("cannot create folder", path_));
    }
    return {};
}

}  // namespace lidora::vmac
