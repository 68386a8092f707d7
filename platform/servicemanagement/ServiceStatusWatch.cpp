#include "platform/servicemanagement/ServiceStatusWatch.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <array>
#include <cstdint>

namespace lidora::vmac {

namespace {

constexpr auto kFolderEvents = IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_CREATE | IN_DELETE;

// Empties the queue; false when the watched folder itself went away.
bool drain(int inotify) {
    alignas(inotify_event) std::array<char, 4096> buffer{};
    bool kept = true;
    for (;;) {
        const auto length = ::read(inotify, buffer.data(), buffer.size());
        if (length <= 0) {
            return kept;
        }
        for (std::size_t offset = 0; offset < static_cast<std::size_t>(length);) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer.data() + offset);
            kept = kept && (event->mask & IN_IGNORED) == 0;
            offset += sizeof(inotify_event) + event->len;
        }
    }
}

}  // namespace

ServiceStatusWatch::ServiceStatusWatch(const VmacPaths& paths, std::filesystem::path bundle, std::string plistName)
    : registry_(ServiceRegistry::of(paths)),
      bundle_(std::move(bundle)),
      plistName_(std::move(plistName)),
      status_(read()),
      stopEvent_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    thread_ = std::jthread([this](const std::stop_token& stop) { run(stop); });
}

ServiceStatusWatch::~ServiceStatusWatch() {
    thread_.request_stop();
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = ::write(stopEvent_.get(), &one, sizeof one);
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

void ServiceStatusWatch::run(const std::stop_token& stop) {
    const FileDescriptor inotify(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    const auto folder = registry_.file().parent_path();
    bool watching = false;
    while (!stop.stop_requested()) {
        if (!watching && inotify.valid()) {
            watching = ::inotify_add_watch(inotify.get(), folder.c_str(), kFolderEvents) >= 0;
            if (watching) {
                refresh();  // what changed before the watch sent no event
            }
        }
        std::array<pollfd, 2> waiting{{{inotify.get(), POLLIN, 0}, {stopEvent_.get(), POLLIN, 0}}};
        const int ready = ::poll(waiting.data(), waiting.size(), static_cast<int>(kRecheckInterval.count()));
        if (stop.stop_requested()) {
            return;
        }
        if (ready > 0 && (waiting[0].revents & POLLIN) != 0) {
            watching = drain(inotify.get());
        }
        refresh();
    }
}

}  // namespace lidora::vmac
