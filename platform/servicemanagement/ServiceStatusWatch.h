#pragma once

#include <atomic>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>

#include "platform/launchd/ServiceRegistry.h"
#include "platform/vmac/FileDescriptor.h"
#include "platform/vmac/VmacPaths.h"

namespace lidora::vmac {

// The service manager's status of one app's daemon, kept current on a thread
// of its own so that reading it never waits. launchd answers sm-status from
// its records of registrations and whether the bundle's property list loads;
// this reads the same, without asking launchd: when made, whenever the
// records file changes (inotify on its folder), and every second besides for
// what inotify does not see (the property list changing, the folder made
// later).
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
    void run(const std::stop_token& stop);
    [[nodiscard]] int read() const;

    ServiceRegistry registry_;
    std::filesystem::path bundle_;
    std::string plistName_;
    // Reads are stored in the order they started, so an older read never
    // overwrites a newer one.
    std::mutex reading_;
    std::atomic<int> status_;
    FileDescriptor stopEvent_;
    std::jthread thread_;  // last: stopped first
};

}  // namespace lidora::vmac
