// vmac wake: the Mac wakes from sleep; apps hear NSWorkspaceDidWakeNotification.
#include "platform/tools/vmac/Command.h"
#include "platform/tools/vmac/SessionChange.h"

namespace lidora::vmac {

int runWake(const VmacPaths& paths, const std::vector<std::string>& arguments) {
    if (const auto answered = answerArgumentlessCommand(
            "wake",
            "usage: vmac wake\n\nPlays the Mac waking from sleep: every app observing the workspace's\n"
            "did-wake notification hears it, and then screens-did-wake if the displays slept.\n",
            arguments)) {
        return *answered;
    }
    return changeSession(
        paths, "wake", [](SessionState& state) { state.displaysAsleep = false; }, "", true);
}

}  // namespace lidora::vmac
