#include "platform/tools/vmac/SessionChange.h"

#include <algorithm>
#include <cstdio>

#include "platform/launchd/LaunchdPaths.h"
#include "platform/session/SessionEvents.h"
#include "platform/tools/vmac/CommandBus.h"
#include "platform/vmac/AtomicFile.h"
#include "platform/vmac/VmacLayout.h"

namespace lidora::vmac {

namespace {

// Covers a bus that launchd is still starting and its settling.
constexpr std::chrono::seconds kAnnounceLockWait{10};

bool isBooted(const VmacPaths& paths) {
    const auto running = runningProcesses(paths);
    return std::any_of(running.begin(), running.end(),
                       [](const RunningProcess& process) { return process.name == kLaunchdProcessName; });
}

}  // namespace

int changeSession(const VmacPaths& paths, const char* command, const std::function<void(SessionState&)>& change,
                  const char* unchanged, bool wakeAnyway) {
    if (auto folder = ensureSessionFolder(paths); !folder) {
        std::fprintf(stderr, "vmac %s: %s\n", command, folder.error().c_str());
        return 1;
    }
    // Held from the change to the last post, so that two commands at once
    // cannot leave apps having heard last what the state no longer says.
    const auto announcing =
        FileLock::acquire(sessionStateFile(paths).parent_path() / "announce.lock", kAnnounceLockWait);
    if (!announcing) {
        std::fprintf(stderr, "vmac %s: %s\n", command, announcing.error().c_str());
        return 1;
    }
    const auto changed = changeSessionState(paths, change, [command](const std::string& warning) {
        std::fprintf(stderr, "vmac %s: %s\n", command, warning.c_str());
    });
    if (!changed) {
        std::fprintf(stderr, "vmac %s: %s\n", command, changed.error().c_str());
        return 1;
    }
    auto events = changed->events;
    if (wakeAnyway && std::find(events.begin(), events.end(), SessionEvent::systemDidWake) == events.end()) {
        events.insert(events.begin(), SessionEvent::systemDidWake);
    }
    if (events.empty()) {
        std::printf("%s\n", unchanged);
        return 0;
    }
    if (!wakeAnyway && !isBooted(paths)) {
        return 0;
    }
    CommandBus bus(paths);
    if (!bus.connect()) {
        std::fprintf(stderr, "vmac %s: %s, so no app heard of it\n", command, kNoBusMessage);
        return 1;
    }
    for (const auto event : events) {
        postSessionEvent(bus.bus(), event);
    }
    if (!bus.settle()) {
        std::fprintf(stderr, "vmac %s: the message bus did not take the notification\n", command);
        return 1;
    }
    return 0;
}

}  // namespace lidora::vmac
