// vmac notify post NAME: posts a Darwin notification, as notify_post does.
#include <cstdio>

#include "platform/bus/BusDarwinNotificationCenter.h"
#include "platform/tools/vmac/Command.h"
#include "platform/tools/vmac/CommandBus.h"

namespace lidora::vmac {

int runNotify(const VmacPaths& paths, const std::vector<std::string>& arguments) {
    constexpr const char* kUsage =
        "usage: vmac notify post NAME\n\n"
        "Posts the Darwin notification NAME to every process observing it, as\n"
        "notify_post(3) does; e.g. vmac notify post com.zelquin.lidora.changed.\n";
    if (wantsHelp(arguments)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (arguments.size() != 2 || arguments[0] != "post" || arguments[1].empty()) {
        std::fputs(kUsage, stderr);
        return 64;
    }
    CommandBus command(paths);
    if (!command.connect()) {
        std::fprintf(stderr, "vmac notify: %s\n", kNoBusMessage);
        return 1;
    }
    BusDarwinNotificationCenter(command.bus()).post(arguments[1]);
    if (!command.settle()) {
        std::fprintf(stderr, "vmac notify: the message bus did not take the notification\n");
        return 1;
    }
    return 0;
}

}  // namespace lidora::vmac
