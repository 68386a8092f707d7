#include "platform/prefs/PreferencesDirectory.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/vmac/AtomicFile.h"

namespace lidora::vmac {

namespace {

// Creates one folder for `owner` alone; an existing one is left to verify().
Expected<void, std::string> makeOwnedFolder(const std::filesystem::path& folder, uid_t owner) {
    if (::mkdir(folder.c_str(), 0700) != 0) {
        if (errno == EEXIST) {
            return {};
        }
        return unexpected(systemError("cannot create folder", folder));
    }
    if (::geteuid() == owner) {
        return {};
    }
    const passwd* entry = ::getpwuid(owner);
    const gid_t group = entry != nullptr ? entry->pw_gid : static_cast<gid_t>(owner);
    if (::lchown(folder.c_str(), owner, group) != 0) {
        const auto error = systemError("cannot give", folder);
        ::rmdir(folder.c_str());
        return unexpected(error + " to uid " + std::to_string(owner));
    }
    return {};
}

}  // namespace

Expected<void, std::string> checkOwnedFolder(const std::filesystem::path& folder, uid_t owner) {
    struct stat info {};
    if (::lstat(folder.c_str(), &info) != 0) {
        if (errno == ENOENT) {
            return {};
        }
        return unexpected(systemError("cannot inspect", folder));
    }
    if (!S_ISDIR(info.st_mode)) {
        return unexpected("refusing " + folder.string() + ": it is not a folder");
    }
    if (info.st_uid != owner) {
        return unexpected("refusing " + folder.string() + ": it belongs to uid " + std::to_string(info.st_uid) +
                          ", not to uid " + std::to_string(owner));
    }
    if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        return unexpected("refusing " + folder.string() + ": other users may write in it");
    }
    return {};
}

PreferencesDirectory PreferencesDirectory::ofCurrentUser(const VmacPaths& paths) {
    return ofUser(paths, ::geteuid());
}

PreferencesDirectory PreferencesDirectory::ofUser(const VmacPaths& paths, uid_t uid) {
    const auto home = paths.homeOf(uid);
    // Root's home is var/root, which needs no shared ancestor.
    PreferencesDirectory directory(home / "Library" / "Preferences",
                                   uid == 0 ? std::filesystem::path() : paths.root() / "Users");
    directory.home_ = Home{home, uid};
    return directory;
}

Expected<void, std::string> PreferencesDirectory::verify() const {
    if (!home_) {
        return {};
    }
    for (const auto& folder : {home_->path, home_->path / "Library", path_}) {
        if (auto owned = checkOwnedFolder(folder, home_->owner); !owned) {
            return owned;
        }
    }
    return {};
}

Expected<void, std::string> PreferencesDirectory::create() const {
    if (!sharedParent_.empty() && !makeSharedDirectory(sharedParent_)) {
        return unexpected(systemError("cannot create folder", sharedParent_));
    }
    if (!home_) {
        if (!makeDirectories(path_)) {
            return unexpected(systemError("cannot create folder", path_));
        }
        return {};
    }
    if (!makeDirectories(home_->path.parent_path())) {
        return unexpected(systemError("cannot create folder", home_->path.parent_path()));
    }
    // Each level is checked before anything is made inside it.
    for (const auto& folder : {home_->path, home_->path / "Library", path_}) {
        if (auto made = makeOwnedFolder(folder, home_->owner); !made) {
            return made;
        }
        if (auto owned = checkOwnedFolder(folder, home_->owner); !owned) {
            return owned;
        }
    }
    return {};
}

}  // namespace lidora::vmac
