#include "platform/vmac/FileChangeWatch.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace lidora::vmac {

Expected<std::unique_ptr<FileChangeWatch>, std::string> FileChangeWatch::create(RunLoop& loop,
                                                                                const std::filesystem::path& file,
                                                                                std::function<void()> changed) {
    FileDescriptor fd(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    if (!fd.valid()) {
        return unexpected(std::string("cannot watch files: ") + std::strerror(errno));
    }
    const auto folder = file.parent_path();
    if (::inotify_add_watch(fd.get(), folder.c_str(), IN_CLOSE_WRITE | IN_MOVED_TO | IN_DELETE) < 0) {
        return unexpected("cannot watch " + folder.string() + ": " + std::strerror(errno));
    }
    auto watch = std::make_unique<FileChangeWatch>(std::move(fd), file.filename().string(), std::move(changed));
    watch->watch_ = loop.watch(watch->fd_.get(), FdEvent::Readable, [raw = watch.get()](unsigned) { raw->drain(); });
    return watch;
}

void FileChangeWatch::drain() {
    alignas(inotify_event) char buffer[4096];
    bool relevant = false;
    for (;;) {
        const auto length = ::read(fd_.get(), buffer, sizeof(buffer));
        if (length <= 0) {
            break;
        }
        for (ssize_t offset = 0; offset < length;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + offset);
            if (event->len > 0 && name_ == event->name) {
                relevant = true;
            }
            offset += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
    // One call for a burst of events, once the file has settled.
    if (relevant) {
        changed_();
    }
}

}  // namespace lidora::vmac
