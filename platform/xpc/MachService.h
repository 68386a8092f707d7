#pragma once

#include <filesystem>
#include <string_view>

#include "platform/vmac/VmacPaths.h"

namespace lidora::vmac {

// Where a Mach service's socket lives on the virtual Mac.
inline std::filesystem::path machServiceSocket(const VmacPaths& paths, std::string_view serviceName) {
    return paths.runDirectory() / "mach" / std::string(serviceName);
}

// Descriptions of connection failures, worded as the framework words them.
std::string lookupFailedDescription(std::string_view serviceName);
std::string interruptedDescription(std::string_view serviceName);
std::string invalidatedDescription(std::string_view serviceName);

}  // namespace lidora::vmac
