#include "platform/prefs/PreferencesFolderWatch.h"

#include <sys/inotify.h>
#include <unistd.h>

namespace lidora::vmac {

namespace {

constexpr std::uint32_t kFileEvents =
    IN_CLOSE_WRITE | IN_MODIFY | IN_MOVED_TO | IN_MOVED_FROM | IN_CREATE | IN_DELETE | IN_ATTRIB;
constexpr std::uint32_t kFolderGone = IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED | IN_UNMOUNT;

}  // namespace

std::optional<std::uint64_t> PreferencesFolderWatch::version(const std::string& fileName) {
    const std::lock_guard lock(mutex_);
    if (!ensureWatching()) {
        return std::nullopt;
    }
    drain();
    if (!watching_) {
        return std::nullopt;
    }
    const auto found = versions_.find(fileName);
    return found != versions_.end() ? found->second : base_;
}

bool PreferencesFolderWatch::ensureWatching() {
    if (watching_) {
        return true;
    }
    if (!fd_.valid()) {
        fd_ = FileDescriptor(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
        if (!fd_.valid()) {
            return false;
        }
    }
    if (::inotify_add_watch(fd_.get(), folder_.c_str(), kFileEvents | IN_DELETE_SELF | IN_MOVE_SELF) < 0) {
        return false;
    }
    // Whatever was read before the watch began may be stale.
    watching_ = true;
    forgetAll();
    return true;
}

void PreferencesFolderWatch::drain() {
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const auto length = ::read(fd_.get(), buffer, sizeof(buffer));
        if (length <= 0) {
            return;
        }
        for (ssize_t offset = 0; offset < length;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + offset);
            offset += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            if ((event->mask & IN_Q_OVERFLOW) != 0) {
                forgetAll();
            } else if ((event->mask & kFolderGone) != 0) {
                // A new folder in its place is watched afresh on the next read.
                if ((event->mask & IN_IGNORED) == 0) {
                    ::inotify_rm_watch(fd_.get(), event->wd);
                }
                watching_ = false;
                forgetAll();
            } else if (event->len > 0) {
                versions_.insert_or_assign(std::string(event->name), ++latest_);
            }
        }
    }
}

void PreferencesFolderWatch::forgetAll() {
    versions_.clear();
    base_ = ++latest_;
}

}  // namespace lidora::vmac
