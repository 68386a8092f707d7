#include "platform/session/SessionEvents.h"

#include "core/ports/DistributedNotifications.h"
#include "core/ports/PowerSources.h"
#include "platform/bus/BusDarwinNotificationCenter.h"
#include "platform/bus/BusDistributedNotificationCenter.h"
#include "platform/bus/BusWorkspace.h"

namespace lidora::vmac {

std::vector<SessionEvent> sessionEvents(const std::optional<SessionState>& before, const SessionState& after) {
    std::vector<SessionEvent> events;
    if (!before || before->screenLocked != after.screenLocked) {
        events.push_back(after.screenLocked ? SessionEvent::screenLocked : SessionEvent::screenUnlocked);
    }
    if (!before || before->powerSource != after.powerSource) {
        events.push_back(SessionEvent::powerSourceChanged);
    }
    if (!before || before->displaysAsleep != after.displaysAsleep) {
        if (after.displaysAsleep) {
            events.push_back(SessionEvent::screensDidSleep);
        } else {
            events.push_back(SessionEvent::systemDidWake);
            events.push_back(SessionEvent::screensDidWake);
        }
    }
    return events;
}

void postSessionEvent(VmacBus& bus, SessionEvent event) {
    switch (event) {
        case SessionEvent::screenLocked:
            BusDistributedNotificationCenter(bus).post(kScreenIsLockedNotification);
            return;
        case SessionEvent::screenUnlocked:
            BusDistributedNotificationCenter(bus).post(kScreenIsUnlockedNotification);
            return;
        case SessionEvent::powerSourceChanged: BusDarwinNotificationCenter(bus).post(kPowerSourceNotification); return;
        case SessionEvent::systemDidWake: postDidWake(bus); return;
        case SessionEvent::screensDidSleep: postScreensDidSleep(bus); return;
        case SessionEvent::screensDidWake: postScreensDidWake(bus); return;
    }
}

Expected<SessionChange, std::string> changeSessionState(const VmacPaths& paths,
                                                        const std::function<void(SessionState&)>& change,
                                                        const std::function<void(const std::string&)>& warn) {
    if (auto folder = ensureSessionFolder(paths); !folder) {
        return unexpected(folder.error());
    }
    // The record reports a damaged file before handing out the default.
    bool damaged = false;
    auto record = sessionRecord(paths, [&](const std::string& message) {
        damaged = true;
        if (warn) {
            warn(message);
        }
    });
    SessionChange outcome;
    std::optional<SessionState> before;
    auto updated = record.update([&](SessionState& state) {
        if (!damaged) {
            before = state;
        }
        change(state);
        outcome.state = state;
        return !before || *before != state;
    });
    if (!updated) {
        return unexpected(updated.error());
    }
    outcome.events = sessionEvents(before, outcome.state);
    return outcome;
}

}  // namespace lidora::vmac
