#pragma once

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>

#include "core/runtime/Expected.h"
#include "platform/vmac/VmacPaths.h"

namespace lidora::vmac {

// Refuses a folder that `owner` must own alone: one that is not a plain
// folder, belongs to someone else, or that others may write in. A missing
// folder passes; there is nothing in it to read or replace.
Expected<void, std::string> checkOwnedFolder(const std::filesystem::path& folder, uid_t owner);

// The folder that holds one user's preference domains. It is created only
// when something is written, so reading never leaves folders behind.
class PreferencesDirectory {
public:
    // `sharedParent`, when given, is an ancestor every user creates entries
    // in (the virtual Mac's Users folder); it is made sticky and world-writable.
    explicit PreferencesDirectory(std::filesystem::path path, std::filesystem::path sharedParent = {})
        : path_(std::move(path)), sharedParent_(std::move(sharedParent)) {}

    // Library/Preferences in the home of the user this process runs as.
    static PreferencesDirectory ofCurrentUser(const VmacPaths& paths);
    // The same for any user. Their home is theirs alone (0700), and a home
    // or preferences folder anyone else could have planted is refused.
    static PreferencesDirectory ofUser(const VmacPaths& paths, uid_t uid);

    [[nodiscard]] const std::filesystem::path& path() const { return path_; }

    // Whether the folders may be trusted; callers read nothing when not.
    [[nodiscard]] Expected<void, std::string> verify() const;
    Expected<void, std::string> create() const;

private:
    struct Home {
        std::filesystem::path path;
        uid_t owner;
    };

    std::filesystem::path path_;
    std::filesystem::path sharedParent_;
    std::optional<Home> home_;
};

}  // namespace lidora::vmac
