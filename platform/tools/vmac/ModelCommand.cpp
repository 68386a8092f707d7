// vmac model: the virtual Mac's model identifier, as sysctl hw.model gives it.
#include <cstdio>

#include "platform/system/HardwareModel.h"
#include "platform/tools/vmac/Command.h"

namespace lidora::vmac {

int runModel(const VmacPaths& paths, const std::vector<std::string>& arguments) {
    if (wantsHelp(arguments)) {
        std::printf(
            "usage: vmac model [IDENTIFIER]\n\n"
            "Prints the model identifier programs read as hw.model, or sets it, e.g.\n"
            "vmac model MacBookPro18,3 to play a Mac without the lit logo. Up to %zu\n"
            "printable ASCII characters. A fresh virtual Mac is a %s.\n",
            kMaxHardwareModelBytes, std::string(kDefaultHardwareModel).c_str());
        return 0;
    }
    if (arguments.size() > 1) {
        std::fprintf(stderr, "usage: vmac model [IDENTIFIER]\n");
        return 64;
    }
    if (arguments.empty()) {
        const auto model = readHardwareModel(paths);
        if (!model) {
            std::fprintf(stderr, "vmac model: %s\n", model.error().c_str());
            return 1;
        }
        std::printf("%s\n", model->c_str());
        return 0;
    }
    if (auto valid = validateHardwareModel(arguments[0]); !valid) {
        std::fprintf(stderr, "vmac model: %s\n", valid.error().c_str());
        return 64;
    }
    if (auto written = writeHardwareModel(paths, arguments[0]); !written) {
        std::fprintf(stderr, "vmac model: %s\n", written.error().c_str());
        return 1;
    }
    return 0;
}

}  // namespace lidora::vmac
