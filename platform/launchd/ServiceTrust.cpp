#include "platform/launchd/ServiceTrust.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "platform/vmac/AtomicFile.h"

namespace lidora::vmac {

bool isInside(const std::filesystem::path& file, const std::filesystem::path& folder) {
    if (!file.is_absolute() || !folder.is_absolute()) {
        return false;
    }
    const auto folderEnd = std::find_if(folder.begin(), folder.end(), [](const auto& part) { return part.empty(); });
    auto f = file.begin();
    for (auto d = folder.begin(); d != folderEnd; ++d, ++f) {
        if (f == file.end() || *f != *d) {
            return false;
        }
    }
    return true;
}

Expected<std::filesystem::path, std::string> executableOf(pid_t pid) {
    std::error_code error;
    const auto link = std::filesystem::path("/proc") / std::to_string(pid) / "exe";
    const auto target = std::filesystem::read_symlink(link, error);
    if (error) {
        return unexpected("cannot tell the executable of pid " + std::to_string(pid) + ": " + error.message());
    }
    // A replaced or deleted executable no longer names what is running.
    const auto resolved = std::filesystem::canonical(target, error);
    if (error) {
        return unexpected("the executable of pid " + std::to_string(pid) + " is gone: " + target.string());
    }
    return resolved;
}

Expected<void, std::string> checkOnlyAdministratorsCanChange(const std::filesystem::path& file) {
    std::error_code error;
    auto path = std::filesystem::canonical(file, error);
    if (error) {
        return unexpected("cannot resolve " + file.string() + ": " + error.message());
    }
    for (;;) {
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0) {
            return unexpected(systemError("cannot inspect", path));
        }
        if (info.st_uid != 0 && info.st_uid != ::geteuid()) {
            return unexpected(path.string() + " belongs to uid " + std::to_string(info.st_uid) +
                              ", so launchd won't run anything from it as root");
        }
        const bool sticky = S_ISDIR(info.st_mode) && (info.st_mode & S_ISVTX) != 0;
        if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0 && !sticky) {
            return unexpected(path.string() + " is writable by other users, so launchd won't run anything from it");
        }
        if (path == path.root_path()) {
            return {};
        }
        path = path.parent_path();
    }
}

}  // namespace lidora::vmac
