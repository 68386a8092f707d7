// vmac screen: a picture of the top of a display as the user sees it. The
// drawing needs Qt, which the other commands do without, so it is done (and
// its usage told) by a program of its own, screen-snapshot, in vmac's folder.
#include "platform/tools/vmac/Command.h"

namespace lidora::vmac {

int runScreen(const VmacPaths& /*paths*/, const std::vector<std::string>& arguments) {
    return execSibling("screen-snapshot", arguments, "vmac screen");
}

}  // namespace lidora::vmac
