// vmac controls: the Control Center controls and how often apps asked to
// reload each.
#include <cstdio>

#include "core/ports/ControlCenter.h"
#include "platform/bus/ControlReloadRecord.h"
#include "platform/tools/vmac/Command.h"

namespace lidora::vmac {

int runControls(const VmacPaths& paths, const std::vector<std::string>& arguments) {
    if (const auto answered = answerArgumentlessCommand(
            "controls",
            "usage: vmac controls\n\nLists each control kind with the number of reloads apps requested for it\n"
            "(WidgetKit's ControlCenter.reloadControls), Lidora's own kinds always.\n",
            arguments)) {
        return *answered;
    }
    auto counts = ControlReloadRecord(paths, [](const std::string& warning) {
                      std::fprintf(stderr, "vmac controls: %s\n", warning.c_str());
                  }).read();
    if (!counts) {
        std::fprintf(stderr, "vmac controls: %s\n", counts.error().c_str());
        return 1;
    }
    for (const auto kind : {kLogoLightControlKind, kLogoBrightnessControlKind}) {
        counts->try_emplace(std::string(kind), 0);
    }
    for (const auto& [kind, count] : *counts) {
        std::printf("%s %llu\n", kind.c_str(), static_cast<unsigned long long>(count));
    }
    return 0;
}

}  // namespace lidora::vmac
