// vmac-screen: what `vmac screen` runs, apart from vmac so that only this
// program loads Qt.
#include <algorithm>
#include <string>
#include <vector>

#include "platform/tools/vmac/Command.h"

namespace lidora::vmac {

bool wantsHelp(const std::vector<std::string>& arguments) {
    return std::any_of(arguments.begin(), arguments.end(), [](const std::string& argument) {
        return argument == "--help" || argument == "-h" || argument == "help";
    });
}

}  // namespace lidora::vmac

int main(int argc, char** argv) {
    using namespace lidora::vmac;
    return runScreen(VmacPaths::fromEnvironment(), std::vector<std::string>(argv + 1, argv + argc));
}
