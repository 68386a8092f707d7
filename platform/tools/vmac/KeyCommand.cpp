// vmac key COMBO: presses a hot key, as the window server hands a
// registered combination to the application that holds it.
#include <cstdio>

#include "platform/bus/BusHotKeyEventManager.h"
#include "platform/tools/vmac/Command.h"
#include "platform/tools/vmac/CommandBus.h"

namespace lidora::vmac {

int runKey(const VmacPaths& paths, const std::vector<std::string>& arguments) {
    constexpr const char* kUsage =
        "usage: vmac key COMBO\n\n"
        "Presses a key combination, e.g. shift+cmd+7, cmd-shift-0 or ⇧⌘7. Modifiers:\n"
        "cmd, shift, option (alt), control (ctrl); keys: letters, digits, space,\n"
        "return, tab, escape, delete, f1 to f12, arrows. Prints the process that\n"
        "registered the combination as a hot key and got the press; exit status 1\n"
        "when no application registered it.\n";
    if (wantsHelp(arguments)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (arguments.size() != 1) {
        std::fputs(kUsage, stderr);
        return 64;
    }
    const auto combination = parseKeyCombination(arguments[0]);
    if (!combination) {
        std::fprintf(stderr, "vmac key: %s\n", combination.error().c_str());
        return 64;
    }
    const auto name = describeKeyCombination(*combination);
    const HotKeyRecord record(
        paths, [](const std::string& warning) { std::fprintf(stderr, "vmac key: %s\n", warning.c_str()); });
    const auto registrations = record.read();
    if (!registrations) {
        std::fprintf(stderr, "vmac key: %s\n", registrations.error().c_str());
        return 1;
    }
    const auto holder = holderOf(*registrations, *combination, processIsAlive);
    if (!holder) {
        std::printf("no application registered %s\n", name.c_str());
        return 1;
    }
    CommandBus command(paths);
    if (!command.connect()) {
        std::fprintf(stderr, "vmac key: %s\n", kNoBusMessage);
        return 1;
    }
    if (!sendHotKeyPress(command.bus(), holder->owner.pid, *combination) || !command.settle()) {
        std::fprintf(stderr, "vmac key: the message bus did not take the press\n");
        return 1;
    }
    std::printf("%s went to %s (pid %d)\n", name.c_str(), holder->process.c_str(), static_cast<int>(holder->owner.pid));
    return 0;
}

}  // namespace lidora::vmac
