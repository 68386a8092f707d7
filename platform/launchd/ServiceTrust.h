#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>

#include "core/runtime/Expected.h"

namespace lidora::vmac {

// Whether `file` lies in `folder` or below; both already resolved.
bool isInside(const std::filesystem::path& file, const std::filesystem::path& folder);

// The running executable of process `pid`, symlinks resolved.
Expected<std::filesystem::path, std::string> executableOf(pid_t pid);

// Refuses a file that someone other than root or launchd's own user could
// replace: it and every folder above it must be owned by one of them and not
// writable by others, save sticky folders such as /tmp.
Expected<void, std::string> checkOnlyAdministratorsCanChange(const std::filesystem::path& file);

}  // namespace lidora::vmac
