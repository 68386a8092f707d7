#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>

#include "core/ports/RunLoop.h"
#include "core/runtime/Expected.h"
#include "core/runtime/Registry.h"
#include "platform/vmac/FileDescriptor.h"

namespace lidora::vmac {

// One inotify watch on one folder, for everyone in the process who follows
// files in it. While the folder is missing, the nearest folder above it that
// exists is watched instead, moving down as the folders appear. The kernel
// queues an event before another process's write returns, so anything
// checked against version() never misses a finished write.
class FolderWatch {
public:
    explicit FolderWatch(std::filesystem::path folder);
    FolderWatch(const FolderWatch&) = delete;
    FolderWatch& operator=(const FolderWatch&) = delete;

    // A number that changes whenever `fileName` in the folder may have
    // changed; empty while the folder itself cannot be watched, when nothing
    // may be cached. Any thread.
    std::optional<std::uint64_t> version(const std::string& fileName);

    // Calls `changed` on `loop` once `fileName` was written, replaced or
    // removed, one call for a burst of events; and when the folder appears.
    // The first follower's loop drains the watch; use one loop per watch.
    [[nodiscard]] Expected<Cancellable, std::string> follow(RunLoop& loop, std::string fileName,
                                                            std::function<void()> changed);

    [[nodiscard]] const std::filesystem::path& folder() const { return folder_; }

private:
    struct Follower {
        RunLoop& loop;
        std::string fileName;
        std::function<void()> changed;
    };
    // What a drain saw: which files changed, or that anything may have.
    struct Changes {
        std::set<std::string, std::less<>> files;
        bool everything = false;
    };

    bool arm(Changes& changes);
    void drain(Changes& changes);
    void forgetAll(Changes& changes);
    void drainAndTell();
    void tell(const Changes& changes);

    std::filesystem::path folder_;
    std::mutex mutex_;
    FileDescriptor fd_;
    int initError_;
    std::string armError_;
    int descriptor_ = -1;
    bool watchingFolder_ = false;
    std::uint64_t latest_ = 0;
    std::uint64_t base_ = 0;  // the version of files without events of their own
    std::map<std::string, std::uint64_t, std::less<>> versions_;
    Registry<Follower, std::mutex> followers_;
    Cancellable loopWatch_;
};

}  // namespace lidora::vmac
