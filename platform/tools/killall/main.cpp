// killall: the virtual Mac's own, which signals processes of this virtual Mac
// only, never those of another one running beside it or of the host.
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/process/Killall.h"
#include "platform/process/ProcProcessTable.h"
#include "platform/process/VmacMembership.h"

int main(int argc, char** argv) {
    using namespace lidora::vmac;
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const KillallCaller caller{canonicalVmacRoot(VmacPaths::fromEnvironment()), ::getpid(), ::getuid()};
    ProcProcessTable table;
    const auto result = runKillall(arguments, caller, table);
    std::fputs(result.out.c_str(), stdout);
    std::fflush(stdout);
    std::fputs(result.err.c_str(), stderr);
    return result.status;
}
