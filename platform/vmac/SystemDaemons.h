#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "core/runtime/Expected.h"
#include "platform/vmac/VmacPaths.h"

namespace lidora::vmac {

// A daemon that plays a part of the system. Its property list lies in the
// root's System/Library/LaunchDaemons, which launchd loads at every start.
struct SystemDaemon {
    std::string label;
    // A program beside the vmac tools when relative, else this path.
    std::filesystem::path program;
    std::vector<std::string> arguments;  // after argv[0]; "$VMAC_ROOT/" prefixes are expanded
    std::vector<std::string> machServices;
    bool keepAlive = true;
    int throttleInterval = 0;  // seconds between restarts; 0 leaves launchd's default
};

// Every system daemon of the virtual Mac.
const std::vector<SystemDaemon>& systemDaemons();

[[nodiscard]] inline std::filesystem::path systemLaunchDaemons(const VmacPaths& paths) {
    return paths.systemPath("/System/Library/LaunchDaemons");
}

// The property-list text of `daemon`, its relative program resolved against
// `toolsDirectory`.
std::string systemDaemonPlist(const SystemDaemon& daemon, const VmacPaths& paths,
                              const std::filesystem::path& toolsDirectory);

// Writes the property list of every system daemon whose text changed.
Expected<void, std::string> writeSystemDaemonPlists(const VmacPaths& paths,
                                                    const std::filesystem::path& toolsDirectory);

}  // namespace lidora::vmac
