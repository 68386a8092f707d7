#pragma once

#include <filesystem>
#include <string>

#include "core/runtime/Expected.h"
#include "platform/vmac/VmacPaths.h"

namespace lidora::vmac {

// The virtual Mac's message bus: a private dbus-daemon that launchd keeps
// alive, listening on a socket under var/run that every user may use.
[[nodiscard]] inline std::filesystem::path messageBusSocket(const VmacPaths& paths) {
    return paths.runDirectory() / "vmac-bus.socket";
}
[[nodiscard]] inline std::filesystem::path messageBusConfig(const VmacPaths& paths) {
    return paths.systemPath("/etc/vmac-bus.conf");
}

// The D-Bus address of the socket, with the path escaped as addresses need.
std::string messageBusAddress(const VmacPaths& paths);

// The daemon's configuration text.
std::string messageBusConfigText(const VmacPaths& paths);

// Writes the configuration when its text changed.
Expected<void, std::string> writeMessageBusConfig(const VmacPaths& paths);

}  // namespace lidora::vmac
