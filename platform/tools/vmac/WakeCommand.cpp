// vmac wake: the Mac wakes from sleep; apps hear NSWorkspaceDidWakeNotification.
#include <cstdio>

#include "platform/bus/BusWorkspace.h"
#include "platform/tools/vmac/Command.h"
#include "platform/tools/vmac/CommandBus.h"

namespace lidora::vmac {

int runWake(const VmacPaths& paths, const std::vector<std::string>& arguments) {
    if (const auto answered = answerArgumentlessCommand(
            "wake",
            "usage: vmac wake\n\nPlays the Mac waking from sleep: every app observing the workspace's\n"
            "did-wake notification hears it.\n",
            arguments)) {
        return *answered;
    }
    CommandBus command(paths);
    if (!command.connect()) {
        std::fprintf(stderr, "vmac wake: %s\n", kNoBusMessage);
        return 1;
    }
    if (!postDidWake(command.bus()) || !command.settle()) {
        std::fprintf(stderr, "vmac wake: the message bus did not take the notification\n");
        return 1;
    }
    return 0;
}

}  // namespace lidora::vmac
