// vmac screen: a picture of the top of a display as the user sees it. The
// drawing needs Qt, which the other commands do without, so it is done by a
// program of its own, screen-snapshot, in vmac's folder.
#include <cstdio>

#include "platform/tools/vmac/Command.h"

namespace lidora::vmac {

namespace {

constexpr const char* kUsage =
    "usage: vmac screen [--display ID] [--scale 1|2] --png FILE\n\n"
    "Saves the top strip of a display (the primary one by default), as tall as its\n"
    "menu bar, at 2 pixels a point unless told: the desktop or the full-screen app,\n"
    "the menu bar with the Apple menu's logo where it is shown, the menu-bar cover,\n"
    "and every panel on screen there, composited with its alpha.\n";


}  // namespace

int runScreen(const VmacPaths& /*paths*/, const std::vector<std::string>& arguments) {
    if (wantsHelp(arguments)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    return execSibling("screen-snapshot", arguments, "vmac screen");
}

}  // namespace lidora::vmac
