#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/runtime/Expected.h"
#include "platform/bus/VmacBus.h"
#include "platform/session/SessionState.h"

namespace lidora::vmac {

// The notifications through which apps hear of session changes.
enum class SessionEvent {
    screenLocked,        // distributed "com.apple.screenIsLocked"
    screenUnlocked,      // distributed "com.apple.screenIsUnlocked"
    powerSourceChanged,  // Darwin "com.apple.system.powersources.source"
    systemDidWake,       // NSWorkspaceDidWakeNotification
    screensDidSleep,     // NSWorkspaceScreensDidSleepNotification
    screensDidWake,      // NSWorkspaceScreensDidWakeNotification
};

// What the change from `before` to `after` announces, in the order the
// system posts it. Displays waking from sleep are the Mac waking, so apps
// hear the system wake before the screens wake. Without `before` (readers
// could not read the state) every part of `after` is announced.
std::vector<SessionEvent> sessionEvents(const std::optional<SessionState>& before, const SessionState& after);

// Posts one event, as the system would.
void postSessionEvent(VmacBus& bus, SessionEvent event);

struct SessionChange {
    SessionState state;
    std::vector<SessionEvent> events;
};

// Applies `change` to the recorded state under its lock; writes and reports
// events only when something changed, or when a damaged record had to be
// replaced. `warn` hears of such a record.
Expected<SessionChange, std::string> changeSessionState(const VmacPaths& paths,
                                                        const std::function<void(SessionState&)>& change,
                                                        const std::function<void(const std::string&)>& warn = {});

}  // namespace lidora::vmac
