#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include "core/ports/RunLoop.h"
#include "core/runtime/Task.h"
#include "platform/process/ProcessTable.h"

namespace lidora::vmac {

// How long ending a virtual Mac's processes may take.
struct SweepTimes {
    Duration grace = std::chrono::seconds(5);     // from SIGTERM to SIGKILL
    Duration killWait = std::chrono::seconds(2);  // for SIGKILL to take effect
    Duration poll = std::chrono::milliseconds(20);
};

struct SweepReport {
    std::vector<ProcessRecord> ended;                    // on SIGTERM
    std::vector<ProcessRecord> killed;                   // only on SIGKILL
    std::vector<std::pair<ProcessRecord, int>> refused;  // could not be signalled: errno
    std::vector<ProcessRecord> remaining;                // still there when the time was up
};

// Ends every process of the virtual Mac whose canonical root is `root`, but
// `self`, ones that appear meanwhile included: SIGTERM, then SIGKILL for
// those still there after the grace period. Finishes once none is left, or
// `killWait` after the grace period at the latest.
Task<SweepReport> endVmacProcesses(RunLoop& loop, ProcessTable& table, std::string root, pid_t self,
                                   SweepTimes times = {});

}  // namespace lidora::vmac
