#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "core/runtime/Expected.h"
#include "platform/launchd/LaunchJob.h"

namespace lidora::vmac {

// Starts and signals the processes of jobs: for real in launchd, played by
// tests elsewhere.
class JobProcesses {
public:
    virtual ~JobProcesses() = default;
    // Starts an instance that gets `listeningFds` by socket activation, in
    // the order of the job's MachServices.
    virtual Expected<pid_t, std::string> start(const LaunchJob& job, const std::vector<int>& listeningFds) = 0;
    virtual void signal(pid_t pid, int signal) = 0;
    // The instance has been reaped.
    virtual void ended(const LaunchJob& job, pid_t pid) = 0;
};

}  // namespace lidora::vmac
