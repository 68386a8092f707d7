#pragma once

#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/ports/RunLoop.h"
#include "core/runtime/Expected.h"
#include "core/runtime/Logger.h"
#include "platform/launchd/Job.h"
#include "platform/launchd/JobProcesses.h"
#include "platform/launchd/JobRegistry.h"
#include "platform/vmac/VmacPaths.h"

namespace lidora::vmac {

// The loaded jobs of launchd: loads them from property lists, binds their
// Mach services, hands reaped children to their job and unloads them.
class JobSupervisor {
public:
    struct Entry {
        std::string label;
        std::filesystem::path plist;
        std::optional<pid_t> pid;
        std::optional<int> lastExitStatus;
    };
    using Done = std::function<void(Expected<std::string, std::string>)>;

    JobSupervisor(RunLoop& loop, VmacPaths paths, JobProcesses& processes, JobRegistry registry, Logger logger);
    JobSupervisor(const JobSupervisor&) = delete;
    JobSupervisor& operator=(const JobSupervisor&) = delete;

    // Loads the job at `plist` (absolute), opened as loadTrustedLaunchJob
    // does, and returns its label once its sockets are bound. Loading the
    // same label from the same file again changes nothing unless its program
    // changed; from another file it replaces the job. `remember` keeps it in
    // the registry for the next start.
    Expected<std::string, std::string> load(const std::filesystem::path& plist, bool remember);
    // The same for a job already loaded that way.
    Expected<std::string, std::string> load(LaunchJob job, bool remember);
    // Loads every registered job; those that cannot be loaded are logged
    // and stay registered.
    void loadRegistered();
    // Loads every property list in `folder` without registering it: the
    // system's own daemons, whose folder is read at every start.
    void loadFolder(const std::filesystem::path& folder);
    // Forgets the job with that label or property list, closes its sockets
    // and calls `done` once its instance has ended.
    void unload(std::string_view labelOrPlist, Done done);
    // Reaps every child that has ended.
    void reapChildren();
    // Ends every instance, keeping the registry as it is; `done` is posted
    // once they are gone, or after kStopGrace and a little more at most.
    void shutdown(std::function<void()> done);

    [[nodiscard]] std::vector<Entry> list() const;

private:
    Expected<std::vector<ListeningSocket>, std::string> listenFor(const LaunchJob& job);
    void retire(std::unique_ptr<Job> job, std::function<void()> then);
    void finishShutdownIfIdle();

    RunLoop& loop_;
    VmacPaths paths_;
    JobProcesses& processes_;
    JobRegistry registry_;
    Logger logger_;
    std::map<std::string, std::unique_ptr<Job>, std::less<>> jobs_;
    std::vector<std::unique_ptr<Job>> retiring_;  // unloaded, instance still ending
    std::function<void()> shutdownDone_;
    Cancellable shutdownDeadline_;
    bool shuttingDown_ = false;
};

}  // namespace lidora::vmac
