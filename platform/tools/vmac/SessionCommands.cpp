// vmac lock, vmac unlock, vmac power: the user's screen lock and the Mac's
// power source, as apps read and hear them.
#include <cstdio>

#include "platform/tools/vmac/Command.h"
#include "platform/tools/vmac/SessionChange.h"

namespace lidora::vmac {

namespace {

int setLocked(const VmacPaths& paths, const char* command, bool locked, const char* usage,
              const std::vector<std::string>& arguments) {
    if (const auto answered = answerArgumentlessCommand(command, usage, arguments)) {
        return *answered;
    }
    return changeSession(
        paths, command, [locked](SessionState& state) { state.screenLocked = locked; },
        locked ? "The screen is already locked" : "The screen is already unlocked");
}

}  // namespace

int runLock(const VmacPaths& paths, const std::vector<std::string>& arguments) {
    return setLocked(paths, "lock", true,
                     "usage: vmac lock\n\n"
                     "Locks the user's screen: the session dictionary says CGSSessionScreenIsLocked\n"
                     "and apps hear the distributed notification com.apple.screenIsLocked.\n",
                     arguments);
}

int runUnlock(const VmacPaths& paths, const std::vector<std::string>& arguments) {
    return setLocked(paths, "unlock", false,
                     "usage: vmac unlock\n\n"
                     "Unlocks the user's screen: CGSSessionScreenIsLocked leaves the session\n"
                     "dictionary and apps hear com.apple.screenIsUnlocked.\n",
                     arguments);
}

int runPower(const VmacPaths& paths, const std::vector<std::string>& arguments) {
    constexpr const char* kUsage =
        "usage: vmac power            print the power source: AC Power or Battery Power\n"
        "       vmac power ac         plug the Mac in\n"
        "       vmac power battery    unplug it\n\n"
        "A change posts the Darwin notification com.apple.system.powersources.source.\n"
        "A fresh virtual Mac is on AC Power.\n";
    if (wantsHelp(arguments)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (arguments.empty()) {
        const auto state = readSessionState(paths);
        if (!state) {
            std::fprintf(stderr, "vmac power: %s\n", state.error().c_str());
            return 1;
        }
        std::printf("%s\n", std::string(powerSourceTypeName(state->powerSource)).c_str());
        return 0;
    }
    if (arguments.size() != 1 || (arguments[0] != "ac" && arguments[0] != "battery")) {
        std::fprintf(stderr, "vmac power: the power source is ac or battery\n%s", kUsage);
        return 64;
    }
    const auto source = arguments[0] == "ac" ? PowerSourceKind::ac : PowerSourceKind::battery;
    return changeSession(
        paths, "power", [source](SessionState& state) { state.powerSource = source; },
        source == PowerSourceKind::ac ? "The Mac is already on AC Power" : "The Mac is already on Battery Power");
}

}  // namespace lidora::vmac
