#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "platform/vmac/AtomicFile.h"

namespace lidora::vmac {

// Tells readers of one preferences folder whether a domain file may have
// changed since they last looked, through inotify. The kernel queues the
// event before another process's write returns, so a cache checked against
// it never serves a value older than a finished write.
class PreferencesFolderWatch {
public:
    explicit PreferencesFolderWatch(std::filesystem::path folder) : folder_(std::move(folder)) {}

    // A number that changes whenever `fileName` in the folder may have
    // changed; empty while the folder cannot be watched (it does not exist
    // yet), when nothing may be cached.
    std::optional<std::uint64_t> version(const std::string& fileName);

private:
    bool ensureWatching();
    void drain();
    void forgetAll();

    std::mutex mutex_;
    std::filesystem::path folder_;
    FileDescriptor fd_;
    bool watching_ = false;
    std::uint64_t latest_ = 0;
    std::uint64_t base_ = 0;  // the version of files without events of their own
    std::map<std::string, std::uint64_t, std::less<>> versions_;
};

}  // namespace lidora::vmac
