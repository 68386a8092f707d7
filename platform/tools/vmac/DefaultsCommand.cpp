#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/tools/vmac/Command.h"
#include "platform/vmac/VmacLayout.h"

namespace lidora::vmac {

// Hands over to the defaults command beside vmac, with the same root.
int runDefaults(const VmacPaths& paths, const std::vector<std::string>& arguments) {
    const auto tool = executableDirectory() / "defaults";
    ::setenv("VMAC_ROOT", paths.root().c_str(), 1);
    std::vector<char*> argv;
    std::string name = "defaults";
    argv.push_back(name.data());
    std::vector<std::string> copies(arguments);
    for (auto& argument : copies) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    ::execv(tool.c_str(), argv.data());
    std::fprintf(stderr, "vmac defaults: cannot run %s: %s\n", tool.c_str(), std::strerror(errno));
    return 1;
}

}  // namespace lidora::vmac
