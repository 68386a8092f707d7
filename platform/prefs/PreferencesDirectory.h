#pragma once

#include <filesystem>
#include <string>

#include "core/runtime/Expected.h"
#include "platform/vmac/VmacPaths.h"

namespace lidora::vmac {

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

    [[nodiscard]] const std::filesystem::path& path() const { return path_; }

    Expected<void, std::string> create() const;

private:
    std::filesystem::path path_;
    std::filesystem::path sharedParent_;
};

}  // namespace lidora::vmac
