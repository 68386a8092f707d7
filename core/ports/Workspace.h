#pragma once

#include <functional>

#include "core/runtime/Cancellable.h"

namespace lidora {

// NSWorkspace's notifications and the Apple events the system sends to a
// running application.
class Workspace {
public:
    virtual ~Workspace() = default;

    // NSWorkspaceDidWakeNotification, delivered on the run loop.
    [[nodiscard]] virtual Cancellable observeDidWake(std::function<void()> handler) = 0;
    // NSWorkspaceScreensDidSleepNotification: the displays went to sleep.
    [[nodiscard]] virtual Cancellable observeScreensDidSleep(std::function<void()> handler) = 0;
    // NSWorkspaceScreensDidWakeNotification: the displays woke.
    [[nodiscard]] virtual Cancellable observeScreensDidWake(std::function<void()> handler) = 0;
    // The reopen event: the user opened the application while it runs.
    [[nodiscard]] virtual Cancellable observeReopen(std::function<void()> handler) = 0;
    // NSWorkspaceActiveSpaceDidChangeNotification: another space became
    // active on some display.
    [[nodiscard]] virtual Cancellable observeActiveSpaceDidChange(std::function<void()> handler) = 0;
};

}  // namespace lidora
