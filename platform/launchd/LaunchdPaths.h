#pragma once

#include <filesystem>
#include <string_view>

#include "platform/vmac/VmacPaths.h"

namespace lidora::vmac {

// Where launchd answers `vmac launchctl`.
inline std::filesystem::path launchdControlSocket(const VmacPaths& paths) {
    return paths.runDirectory() / "launchd.sock";
}

// The pid files `vmac status` lists the running processes from.
inline std::filesystem::path processPidFile(const VmacPaths& paths, std::string_view name) {
    return paths.runDirectory() / "vmac" / (std::string(name) + ".pid");
}

inline constexpr std::string_view kLaunchdProcessName = "launchd";

// A job's output when its property list names no other place.
inline std::filesystem::path defaultJobLog(const VmacPaths& paths, std::string_view label) {
    return paths.root() / "var" / "log" / (std::string(label) + ".log");
}

}  // namespace lidora::vmac
