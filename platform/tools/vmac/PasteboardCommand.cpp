// vmac pasteboard: the general pasteboard of the user running it, as pbpaste
// and pbcopy show and fill it.
#include <cstdio>
#include <iostream>
#include <iterator>

#include "platform/pasteboard/VirtualPasteboard.h"
#include "platform/tools/vmac/Command.h"

namespace lidora::vmac {

namespace {

constexpr const char* kUsage =
    "usage: vmac pasteboard [set [TEXT] | clear]\n\n"
    "Prints the plain text on the general pasteboard of the user running vmac\n"
    "exactly as it is, as pbpaste does: nothing at all when it holds no text.\n"
    "  set TEXT   clears it and puts TEXT on it (no TEXT: standard input, as pbcopy)\n"
    "  clear      empties it\n"
    "It is shared by the user's processes on the virtual Mac. With a desktop session\n"
    "(WAYLAND_DISPLAY or DISPLAY) and wl-copy, xclip or xsel installed, what is put\n"
    "on it is put on the desktop's clipboard too.\n";

int put(VirtualPasteboard& pasteboard, const std::string& text) {
    // Checked before clearing, so refused text leaves the old text in place.
    if (!isPasteboardText(text)) {
        std::fprintf(stderr, "vmac pasteboard: the text is not valid UTF-8; the pasteboard is unchanged\n");
        return 1;
    }
    pasteboard.clearContents();
    if (!pasteboard.setString(text)) {
        std::fprintf(stderr, "vmac pasteboard: %s\n", pasteboard.lastProblem().c_str());
        return 1;
    }
    if (!pasteboard.lastProblem().empty()) {
        std::fprintf(stderr, "vmac pasteboard: %s\n", pasteboard.lastProblem().c_str());
    }
    return 0;
}

}  // namespace

int runPasteboard(const VmacPaths& paths, const std::vector<std::string>& arguments) {
    if (wantsHelp(arguments)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    const auto pasteboard = VirtualPasteboard::forCurrentUser(paths);
    if (arguments.empty()) {
        const auto contents = pasteboard->read();
        if (!contents) {
            std::fprintf(stderr, "vmac pasteboard: %s\n", contents.error().c_str());
            return 1;
        }
        if (contents->text) {
            std::fwrite(contents->text->data(), 1, contents->text->size(), stdout);
        }
        return 0;
    }
    if (arguments[0] == "set" && arguments.size() <= 2) {
        if (arguments.size() == 2) {
            return put(*pasteboard, arguments[1]);
        }
        const std::string input(std::istreambuf_iterator<char>(std::cin), {});
        return put(*pasteboard, input);
    }
    if (arguments[0] == "clear" && arguments.size() == 1) {
        pasteboard->clearContents();
        if (!pasteboard->lastProblem().empty()) {
            std::fprintf(stderr, "vmac pasteboard: %s\n", pasteboard->lastProblem().c_str());
        }
        const auto after = pasteboard->read();
        return after && !after->text ? 0 : 1;
    }
    std::fprintf(stderr, "vmac pasteboard: unexpected '%s'\n%s", arguments[0].c_str(), kUsage);
    return 64;
}

}  // namespace lidora::vmac
