#include "platform/vmac/VmacPaths.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <optional>
#include <system_error>

namespace lidora::vmac {

namespace {

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

// "/a/b/" and "/a/b/." name the same folder as "/a/b".
std::filesystem::path plainFolder(const std::filesystem::path& path) {
    auto normal = path.lexically_normal();
    return normal.has_filename() || normal == normal.root_path() ? normal : normal.parent_path();
}

std::optional<std::filesystem::path> below(const std::filesystem::path& root, const std::filesystem::path& path) {
    const auto [inRoot, inPath] = std::mismatch(root.begin(), root.end(), path.begin(), path.end());
    if (inRoot != root.end()) {
        return std::nullopt;
    }
    std::filesystem::path rooted("/");
    for (auto part = inPath; part != path.end(); ++part) {
        rooted /= *part;
    }
    return rooted;
}

}  // namespace

VmacPaths VmacPaths::fromEnvironment() {
    if (auto root = environment("VMAC_ROOT"); !root.empty()) {
        return VmacPaths(std::filesystem::absolute(root));
    }
    if (auto state = environment("XDG_STATE_HOME"); !state.empty() && state.front() == '/') {
        return VmacPaths(std::filesystem::path(state) / "lidora" / "vmac");
    }
    std::string home = environment("HOME");
    if (home.empty()) {
        if (const passwd* entry = getpwuid(geteuid())) {
            home = entry->pw_dir;
        }
    }
    return VmacPaths(std::filesystem::path(home.empty() ? "/tmp" : home) / ".local" / "state" / "lidora" / "vmac");
}

std::filesystem::path VmacPaths::macPath(const std::filesystem::path& hostPath) const {
    const auto path = plainFolder(hostPath);
    // Executables report resolved paths; the root may have been given through a link.
    std::error_code error;
    const auto resolved = std::filesystem::weakly_canonical(root_, error);
    for (const auto& root : {plainFolder(root_), error ? plainFolder(root_) : plainFolder(resolved)}) {
        if (auto inside = below(root, path)) {
            return *inside;
        }
    }
    return hostPath;
}

std::filesystem::path VmacPaths::homeOfCurrentUser() const {
    return homeOf(geteuid());
}

std::filesystem::path VmacPaths::homeOf(unsigned uid) const {
    if (uid == 0) {
        return root_ / "var" / "root";
    }
    std::string name;
    if (const passwd* entry = getpwuid(uid)) {
        name = entry->pw_name;
    }
    if (name.empty() || name.find('/') != std::string::npos || name.front() == '.') {
        name = "uid" + std::to_string(uid);
    }
    return root_ / "Users" / name;
}

bool makeDirectories(const std::filesystem::path& path) {
    std::error_code error;
    std::filesystem::create_directories(path, error);
    if (error) {
        errno = error.value();
        return false;
    }
    return true;
}

bool makeSharedDirectory(const std::filesystem::path& path) {
    std::error_code error;
    const bool created = std::filesystem::create_directories(path, error);
    if (error) {
        errno = error.value();
        return false;
    }
    // Only whoever owns it can widen it; others simply use it as it is.
    if (created || geteuid() == 0) {
        struct stat info {};
        if (::stat(path.c_str(), &info) == 0 && info.st_uid == geteuid()) {
            ::chmod(path.c_str(), 01777);
        }
    }
    return true;
}

}  // namespace lidora::vmac
