// `vmac screen` is the one command that draws, with Qt; it runs as a program
// of its own so that vmac itself loads no Qt libraries and every other
// command, Control Center's taps among them, starts in a fraction of the time.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/tools/vmac/Command.h"
#include "platform/vmac/VmacLayout.h"

namespace lidora::vmac {

int runScreen(const VmacPaths& /*paths*/, const std::vector<std::string>& arguments) {
    const auto program = executableDirectory() / "vmac-screen";
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const auto& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    ::execv(program.c_str(), argv.data());
    std::fprintf(stderr, "vmac screen: cannot run %s: %s\n", program.c_str(), std::strerror(errno));
    return 1;
}

}  // namespace lidora::vmac
