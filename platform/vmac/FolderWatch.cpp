#include "platform/vmac/FolderWatch.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

namespace lidora::vmac {

namespace {

constexpr std::uint32_t kFileEvents =
    IN_CLOSE_WRITE | IN_MODIFY | IN_MOVED_TO | IN_MOVED_FROM | IN_CREATE | IN_DELETE | IN_ATTRIB;
// Followers hear of a file once it has settled; a write in place is seen at
// its close.
constexpr std::uint32_t kSettled = IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE;
constexpr std::uint32_t kSelfEvents = IN_DELETE_SELF | IN_MOVE_SELF;
constexpr std::uint32_t kFolderGone = kSelfEvents | IN_IGNORED | IN_UNMOUNT;

std::filesystem::path deepestExisting(const std::filesystem::path& folder) {
    std::error_code error;
    auto found = folder;
    while (!std::filesystem::is_directory(found, error) && found.has_relative_path()) {
        found = found.parent_path();
    }
    return found;
}

}  // namespace

FolderWatch::FolderWatch(std::filesystem::path folder)
    : folder_(std::move(folder)), fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)), initError_(errno) {
    Changes ignored;
    arm(ignored);
}

std::optional<std::uint64_t> FolderWatch::version(const std::string& fileName) {
    Changes changes;
    std::optional<std::uint64_t> result;
    {
        const std::lock_guard lock(mutex_);
        if (watchingFolder_ || arm(changes)) {
            drain(changes);
        }
        if (watchingFolder_) {
            const auto found = versions_.find(fileName);
            result = found != versions_.end() ? found->second : base_;
        }
    }
    tell(changes);
    return result;
}

Expected<Cancellable, std::string> FolderWatch::follow(RunLoop& loop, std::string fileName,
                                                       std::function<void()> changed) {
    {
        const std::lock_guard lock(mutex_);
        if (descriptor_ < 0) {
            Changes ignored;
            arm(ignored);
        }
        if (descriptor_ < 0) {
            return unexpected("cannot watch " + folder_.string() + ": " + armError_);
        }
    }
    if (!loopWatch_.holdsRegistration()) {
        loopWatch_ = loop.watch(fd_.get(), FdEvent::Readable, [this](unsigned) { drainAndTell(); });
    }
    return followers_.add(Follower{loop, std::move(fileName), std::move(changed)});
}

// Watches the folder, or the nearest one above it that exists. Returns
// whether the folder itself is watched now.
bool FolderWatch::arm(Changes& changes) {
    if (!fd_.valid()) {
        armError_ = std::strerror(initError_);
        return false;
    }
    for (;;) {
        const bool wasWatchingFolder = watchingFolder_;
        if (descriptor_ >= 0) {
            ::inotify_rm_watch(fd_.get(), descriptor_);
            descriptor_ = -1;
        }
        const auto folder = deepestExisting(folder_);
        watchingFolder_ = false;
        const bool isFolder = folder == folder_;
        descriptor_ = ::inotify_add_watch(fd_.get(), folder.c_str(),
                                          kSelfEvents | (isFolder ? kFileEvents : IN_CREATE | IN_MOVED_TO));
        if (descriptor_ < 0) {
            armError_ = std::strerror(errno);
            return false;
        }
        if (isFolder) {
            watchingFolder_ = true;
            // Whatever was read before the watch began may be stale.
            if (!wasWatchingFolder) {
                forgetAll(changes);
            }
            return true;
        }
        // A folder made between the look and the watch sends no event
        // here; look once more, now that nothing can slip past.
        if (deepestExisting(folder_) == folder) {
            return false;
        }
    }
}

void FolderWatch::drain(Changes& changes) {
    alignas(inotify_event) std::array<char, 4096> buffer{};
    bool rearm = false;
    for (;;) {
        const auto length = ::read(fd_.get(), buffer.data(), buffer.size());
        if (length <= 0) {
            break;
        }
        for (std::size_t offset = 0; offset < static_cast<std::size_t>(length);) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer.data() + offset);
            offset += sizeof(inotify_event) + event->len;
            if ((event->mask & IN_Q_OVERFLOW) != 0) {
                forgetAll(changes);
            } else if (event->wd != descriptor_) {
                continue;  // a watch given up already
            } else if ((event->mask & kFolderGone) != 0) {
                rearm = true;
            } else if (!watchingFolder_) {
                rearm = rearm || (event->mask & IN_ISDIR) != 0;
            } else if (event->len > 0) {
                versions_.insert_or_assign(std::string(event->name), ++latest_);
                if ((event->mask & kSettled) != 0) {
                    changes.files.emplace(event->name);
                }
            }
        }
    }
    if (rearm) {
        if (watchingFolder_) {
            // Gone: nothing read from it may be cached any more.
            forgetAll(changes);
        }
        arm(changes);
    }
}

void FolderWatch::forgetAll(Changes& changes) {
    versions_.clear();
    base_ = ++latest_;
    changes.everything = true;
}

void FolderWatch::drainAndTell() {
    Changes changes;
    {
        const std::lock_guard lock(mutex_);
        drain(changes);
    }
    tell(changes);
}

void FolderWatch::tell(const Changes& changes) {
    if (!changes.everything && changes.files.empty()) {
        return;
    }
    for (const auto& [id, follower] : followers_.snapshot()) {
        if (changes.everything || changes.files.count(follower->fileName) != 0) {
            // Posted: this may run on any thread, and under a reader's lock.
            follower->loop.post([weak = std::weak_ptr(follower)] {
                if (const auto alive = weak.lock()) {
                    alive->changed();
                }
            });
        }
    }
}

}  // namespace lidora::vmac
