// vmac trash: the Trash of the user running it, and moving items into it as
// NSWorkspace's recycle does.
#include <cstdio>
#include <filesystem>

#include "platform/tools/vmac/Command.h"
#include "platform/trash/TrashRecycler.h"

namespace lidora::vmac {

namespace {

constexpr const char* kUsage =
    "usage: vmac trash [move PATH...]\n\n"
    "Lists the Trash of the user running vmac (.Trash in the user's home in the\n"
    "virtual Mac's root), one name a line, sorted; nothing when it is empty.\n"
    "  move PATH...  moves each item into it, as NSWorkspace's recycle does, and\n"
    "                prints the name it got there. PATH is the Mac's own\n"
    "                (/Applications/Lidora.app) or one on the host under its root.\n"
    "                A name the Trash holds already gets the time of the move, as\n"
    "                Finder does (\"Lidora 4.42.07 PM.app\", then \"Lidora 4.42.07 PM\n"
    "                2.app\"); nothing is ever replaced, and no symbolic link below\n"
    "                the root is followed.\n";

}  // namespace

int runTrash(const VmacPaths& paths, const std::vector<std::string>& arguments) {
    if (wantsHelp(arguments)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    TrashRecycler trash(paths);
    if (arguments.empty()) {
        const auto names = trash.list();
        if (!names) {
            std::fprintf(stderr, "vmac trash: %s\n", names.error().c_str());
            return 1;
        }
        for (const auto& name : *names) {
            std::printf("%s\n", name.c_str());
        }
        return 0;
    }
    if (arguments[0] != "move" || arguments.size() < 2) {
        std::fprintf(stderr, "vmac trash: unexpected '%s'\n%s", arguments[0].c_str(), kUsage);
        return 64;
    }
    int status = 0;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        // A path on the host that lies under the root is that item of the Mac;
        // any other is read as the Mac's own ("/Applications/Lidora.app").
        std::error_code ignored;
        const auto onHost = std::filesystem::absolute(arguments[i], ignored);
        const auto inMac = paths.macPath(onHost);
        if (const auto moved = trash.moveToTrash(inMac != onHost ? inMac : std::filesystem::path(arguments[i]))) {
            std::printf("%s\n", moved->c_str());
        } else {
            std::fprintf(stderr, "vmac trash: %s\n", moved.error().c_str());
            status = 1;
        }
    }
    return status;
}

}  // namespace lidora::vmac
