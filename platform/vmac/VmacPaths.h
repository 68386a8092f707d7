#pragma once

#include <filesystem>
#include <string>

namespace lidora::vmac {

// Where the virtual Mac keeps its state. One root holds everything; the
// layout mirrors where macOS keeps the same things.
class VmacPaths {
public:
    // $VMAC_ROOT when set and not empty, else $XDG_STATE_HOME/lidora/vmac,
    // else ~/.local/state/lidora/vmac.
    static VmacPaths fromEnvironment();
    explicit VmacPaths(std::filesystem::path root) : root_(std::move(root)) {}

    [[nodiscard]] const std::filesystem::path& root() const { return root_; }

    // Home of the user the process runs as: var/root for root, else
    // Users/<name>.
    [[nodiscard]] std::filesystem::path homeOfCurrentUser() const;
    [[nodiscard]] std::filesystem::path homeOf(unsigned uid) const;
    [[nodiscard]] std::filesystem::path preferencesOfCurrentUser() const {
        return homeOfCurrentUser() / "Library" / "Preferences";
    }
    // The unified log's folder, written by the log service alone.
    [[nodiscard]] std::filesystem::path unifiedLog() const { return root_ / "var" / "db" / "diagnostics"; }
    [[nodiscard]] std::filesystem::path runDirectory() const { return root_ / "var" / "run"; }
    [[nodiscard]] std::filesystem::path applications() const { return root_ / "Applications"; }

    // A macOS absolute path ("/usr/bin/defaults") as it lies under the root.
    [[nodiscard]] std::filesystem::path systemPath(const std::filesystem::path& macPath) const {
        return macPath.is_absolute() ? root_ / macPath.relative_path() : root_ / macPath;
    }
    // The inverse: a host path under the root as the Mac sees it, rooted at
    // its "/". A path outside the root is no part of the Mac and stays as it is.
    [[nodiscard]] std::filesystem::path macPath(const std::filesystem::path& hostPath) const;

private:
    std::filesystem::path root_;
};

// Creates a directory and its parents. Folders every user of the virtual Mac
// writes into (Users, var/run) are made sticky and world-writable,
// like /tmp, so any user can add its own entries but not remove others'.
// Returns false with errno set when it cannot.
bool makeDirectories(const std::filesystem::path& path);
bool makeSharedDirectory(const std::filesystem::path& path);

}  // namespace lidora::vmac
