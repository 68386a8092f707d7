#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/runtime/Expected.h"
#include "platform/vmac/VmacPaths.h"

namespace lidora::vmac {

// Starts `argv` as the system starts apps and daemons: in a session of its
// own, parented to init, with VMAC_ROOT set to this Mac and marked as one of
// its processes, no input, and its output appended to `logFile`. Returns its
// pid once it runs the program.
Expected<pid_t, std::string> startDetached(const VmacPaths& paths, const std::vector<std::string>& argv,
                                           const std::filesystem::path& logFile);

}  // namespace lidora::vmac
