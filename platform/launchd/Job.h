#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <optional>
#include <vector>

#include "core/ports/RunLoop.h"
#include "core/runtime/Logger.h"
#include "platform/launchd/JobProcesses.h"
#include "platform/launchd/LaunchJob.h"
#include "platform/launchd/RestartPolicy.h"
#include "platform/launchd/UnixSocket.h"

namespace lidora::vmac {

// One loaded job: its listening sockets, kept for as long as it is loaded,
// and at most one running instance. While none runs, launchd watches the
// sockets and starts the program on the first connection; while one runs,
// the program accepts on its own.
class Job {
public:
    static constexpr Duration kStopGrace = std::chrono::seconds(5);

    Job(RunLoop& loop, LaunchJob description, std::vector<ListeningSocket> sockets, JobProcesses& processes,
        Logger logger);
    Job(const Job&) = delete;
    Job& operator=(const Job&) = delete;
    ~Job() = default;

    // Starts the program if it runs at load or is kept alive, else waits
    // for a connection.
    void load();
    // The instance was reaped with this wait(2) status.
    void instanceExited(int waitStatus);
    // Closes the sockets at once, then ends the instance: SIGTERM, and
    // SIGKILL if it is still there after kStopGrace. `stopped` is posted to
    // the loop once no instance runs.
    void unload(std::function<void()> stopped);

    [[nodiscard]] const LaunchJob& description() const { return description_; }
    [[nodiscard]] std::optional<pid_t> pid() const { return instance_; }
    // The last instance's exit status, or minus the signal that ended it.
    [[nodiscard]] std::optional<int> lastExitStatus() const { return lastStatus_; }
    [[nodiscard]] bool watching() const { return !watches_.empty(); }

private:
    void watchSockets();
    void startInstance();
    void afterInstance(bool clean, bool killed = false);
    std::vector<int> listeningFds() const;

    RunLoop& loop_;
    LaunchJob description_;
    std::vector<ListeningSocket> sockets_;
    JobProcesses& processes_;
    Logger logger_;
    RestartPolicy policy_;
    std::optional<pid_t> instance_;
    std::optional<int> lastStatus_;
    std::vector<Cancellable> watches_;
    Cancellable timer_;
    std::function<void()> stopped_;
    bool unloading_ = false;
};

}  // namespace lidora::vmac
