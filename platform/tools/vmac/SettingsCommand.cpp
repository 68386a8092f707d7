// vmac settings: what System Settings showed, since it has no window here.
#include <unistd.h>

#include <cstdio>

#include "platform/system/LoginItemsOpenings.h"
#include "platform/tools/vmac/Command.h"

namespace lidora::vmac {

int runSettings(const VmacPaths& paths, const std::vector<std::string>& arguments) {
    if (const auto answered =
            answerArgumentlessCommand("settings",
                                      "usage: vmac settings\n\n"
                                      "Tells how often apps of this user opened System Settings at Login Items\n"
                                      "& Extensions, and when last.\n",
                                      arguments)) {
        return *answered;
    }
    const auto openings = readLoginItemsOpenings(paths, ::getuid());
    if (!openings) {
        std::fprintf(stderr, "vmac settings: %s\n", openings.error().c_str());
        return 1;
    }
    std::printf("%s\n", describeLoginItemsOpenings(*openings).c_str());
    return 0;
}

}  // namespace lidora::vmac
