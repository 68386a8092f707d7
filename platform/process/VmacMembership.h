#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>
#include <vector>

#include "platform/process/ProcessTable.h"
#include "platform/vmac/VmacPaths.h"

namespace lidora::vmac {

// Marks a process, and through inheritance everything it starts, as one of a
// virtual Mac's: launchd's jobs, the apps `vmac open` starts, launchd
// itself. VMAC_ROOT alone cannot: a shell or test that exports it to run
// `vmac` commands is no part of the Mac.
inline constexpr std::string_view kVmacMemberVariable = "VMAC_MEMBER_OF";

// The Mac's root with symbolic links resolved, as marks name it.
std::string canonicalVmacRoot(const VmacPaths& paths);

// "VMAC_MEMBER_OF=<canonical root>", for the environment of what the Mac starts.
std::string vmacMemberEntry(const VmacPaths& paths);

// The processes of the Mac whose canonical root is `root`: those marked as
// its own, and unmarked ones (whose environment was cleared, or could not be
// read) whose nearest marked ancestor is. `self` is never one of them.
std::vector<ProcessRecord> vmacMembers(const std::vector<ProcessRecord>& processes, const std::string& root,
                                       pid_t self);

}  // namespace lidora::vmac
