#include "platform/servicemanagement/ServiceStatusWatch.h"

#include <pthread.h>

#include <functional>
#include <memory>

#include "platform/vmac/FolderWatch.h"

namespace lidora::vmac {

namespace {

// One file followed through a watch on its folder.
struct Following {
    std::unique_ptr<FolderWatch> folder;
    Cancellable following;
};

// False when the folder cannot be watched.
bool follow(Following& into, RunLoop& loop, const std::filesystem::path& file, std::function<void()> changed) {
    into.following.cancel();
    into.folder = std::make_unique<FolderWatch>(file.parent_path());
    auto following = into.folder->follow(loop, file.filename().string(), std::move(changed));
    if (!following) {
        return false;
    }
    into.following = std::move(following).value();
    return true;
}

}  // namespace

ServiceStatusWatch::ServiceStatusWatch(const VmacPaths& paths, std::filesystem::path bundle, std::string plistName)
    : registry_(ServiceRegistry::of(paths)),
      bundle_(std::move(bundle)),
      plistName_(std::move(plistName)),
      status_(read()) {
    thread_ = std::jthread([this] { run(); });
}

ServiceStatusWatch::~ServiceStatusWatch() {
    loop_.stop();
}

// The records are only ever replaced whole, and read without a lock, so
// this never waits on launchd or on anyone writing them.
int ServiceStatusWatch::read() const {
    return readServiceStatus(registry_, bundle_, plistName_);
}

void ServiceStatusWatch::refresh() {
    const std::lock_guard lock(reading_);
    status_.store(read());
}

void ServiceStatusWatch::run() {
    // Named for whoever looks at the process's threads.
    ::pthread_setname_np(::pthread_self(), "service status");
    Cancellable recheck;
    const auto watchFailed = [&] {
        if (!recheck.holdsRegistration()) {
            recheck = loop_.scheduleRepeating(kRecheckInterval, [this] { refresh(); });
        }
    };
    Following records;
    Following plist;
    Following bundleEntry;
    const auto followPlist = [&] {
        std::error_code error;
        const auto canonical = std::filesystem::weakly_canonical(bundle_, error);
        if (!follow(plist, loop_, daemonPlistPath(error ? bundle_ : canonical, plistName_), [this] { refresh(); })) {
            watchFailed();
        }
    };
    if (!follow(records, loop_, registry_.file(), [this] { refresh(); })) {
        watchFailed();
    }
    followPlist();
    // A bundle moved away or put in place leaves the watch on the old
    // property list's folder behind.
    auto bundle = bundle_.lexically_normal();
    if (!bundle.has_filename()) {
        bundle = bundle.parent_path();
    }
    if (!follow(bundleEntry, loop_, bundle, [&] {
            followPlist();
            refresh();
        })) {
        watchFailed();
    }
    refresh();  // what changed before the watches began sent no event
    loop_.run();
}

}  // namespace lidora::vmac
