#pragma once

#include <atomic>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>

#include "platform/launchd/ServiceRegistry.h"
#include "platform/runloop/PollRunLoop.h"
#include "platform/vmac/VmacPaths.h"

namespace lidora::vmac {

// The service manager's status of one app's daemon, kept current on a thread
// of its own so that reading it never waits. launchd answers sm-status from
// its records of registrations and whether the bundle's property list loads;
// this reads the same, without asking launchd: when made, and whenever the
// records file, the property list or the bundle itself changes (inotify on
// their folders, which also sees folders made or removed later). The thread
// sleeps in between, so an idle app is not woken; only where inotify cannot
// watch does it read again every second.
class ServiceStatusWatch {
public:
    static constexpr std::chrono::milliseconds kRecheckInterval{1000};

    ServiceStatusWatch(const VmacPaths& paths, std::filesystem::path bundle, std::string plistName);
    ServiceStatusWatch(const ServiceStatusWatch&) = delete;
    ServiceStatusWatch& operator=(const ServiceStatusWatch&) = delete;
    ~ServiceStatusWatch();

    [[nodiscard]] int current() const { return status_.load(); }
    // Reads again now, on the calling thread: after a change this process
    // asked for, so that it shows before the change's completion runs.
    void refresh();

private:
    void run();
    [[nodiscard]] int read() const;

    ServiceRegistry registry_;
    std::filesystem::path bundle_;
    std::string plistName_;
    // Reads are stored in the order they started, so an older read never
    // overwrites a newer one.
    std::mutex reading_;
    std::atomic<int> status_;
    PollRunLoop loop_;     // the thread's
    std::jthread thread_;  // last: stopped first
};

}  // namespace lidora::vmac
