// vmac: the entry to the virtual Mac, its state and the processes that play
// the system's part.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/tools/vmac/Command.h"
#include "platform/vmac/VmacLayout.h"

namespace lidora::vmac {

bool wantsHelp(const std::vector<std::string>& arguments) {
    for (const auto& argument : arguments) {
        if (argument == "--help" || argument == "-h" || argument == "help") {
            return true;
        }
    }
    return false;
}

std::optional<int> answerArgumentlessCommand(const char* name, const char* usage,
                                             const std::vector<std::string>& arguments) {
    if (wantsHelp(arguments)) {
        std::fputs(usage, stdout);
        return 0;
    }
    if (!arguments.empty()) {
        std::fprintf(stderr, "vmac %s: takes no arguments\n", name);
        return 64;
    }
    return std::nullopt;
}

namespace {

constexpr Command kCommands[] = {
    {"status", "show the virtual Mac's root, system version and running processes", runStatus},
    {"log", "read the unified log (vmac log show)", runLog},
    {"defaults", "run the virtual Mac's defaults command", runDefaults},
    {"codesign", "sign and verify executables", runCodesign},
    {"boot", "start the virtual Mac's launchd in the background", runBoot},
    {"shutdown", "stop launchd, its jobs and every other process of the Mac", runShutdown},
    {"launchctl", "load, unload and list launchd's jobs", runLaunchctl},
    {"approve", "approve or revoke a daemon an app registered (Login Items)", runApprove},
    {"loginitems", "list the daemons apps registered and whether they may run", runLoginItems},
    {"settings", "show what System Settings was opened at", runSettings},
    {"model", "print or set the model identifier (hw.model)", runModel},
    {"display", "list displays, set their brightness and the ambient light, sleep or wake them", runDisplay},
    {"space", "list, add and switch desktops and full-screen spaces", runSpace},
    {"windows", "print the window list, as the window server has it", runWindows},
    {"pointer", "print or move the pointer (mouse-moved events)", runPointer},
    {"menubar", "show the menu bar, or set when it hides (vmac menubar autohide …)", runMenubar},
    {"screen", "save a picture of the top of a display (vmac screen --png FILE)", runScreen},
    {"logo", "show how the lid logo is lit (--nits: only its luminance)", runLogo},
    {"watch", "show the lid logo live", runWatch},
    {"notify", "post a Darwin notification (vmac notify post NAME)", runNotify},
    {"wake", "wake the Mac from sleep, as apps hear it", runWake},
    {"lock", "lock the user's screen", runLock},
    {"unlock", "unlock the user's screen", runUnlock},
    {"power", "print or set the power source (vmac power ac|battery)", runPower},
    {"controls", "list control kinds and the reloads requested for each", runControls},
    {"controlcenter", "show, switch and tap Control Center's controls, follow their reloads", runControlCenter},
    {"key", "press a hot key (vmac key shift+cmd+7)", runKey},
    {"camera", "list, plug in and unplug cameras; start and stop using one", runCamera},
    {"mic", "start and stop an app's microphone input (vmac mic start BUNDLE_ID)", runMic},
    {"open", "open an app, or send the running one the reopen event", runOpen},
    {"publish-update", "publish a newer version in the local update feed", runPublishUpdate},
    {"install", "install an app bundle into /Applications and sign it", runInstall},
    {"ui", "script a running app's windows: tree, press, set, select, menubar", runUi},
    {"shortcuts", "list the apps' Shortcuts actions, or run one (vmac shortcuts run TITLE)", runShortcuts},
    {"siri", "say a phrase to Siri (vmac siri \"Dim the logo with Lidora\")", runSiri},
};

void printUsage(std::FILE* out) {
    std::fprintf(out,
                 "usage: vmac COMMAND [ARGUMENTS]\n\n"
                 "The virtual Mac Lidora runs on. Its state lives under $VMAC_ROOT, or under\n"
                 "$XDG_STATE_HOME/lidora/vmac when that is not set.\n\ncommands:\n");
    for (const auto& command : kCommands) {
        std::fprintf(out, "  %-10s %s\n", command.name, command.summary);
    }
    std::fprintf(out, "\nvmac COMMAND --help tells more.\n");
}

}  // namespace

bool hasCommand(std::string_view name) {
    for (const auto& command : kCommands) {
        if (command.name == name) {
            return true;
        }
    }
    return false;
}

}  // namespace lidora::vmac

int main(int argc, char** argv) {
    using namespace lidora::vmac;
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0 ||
        std::strcmp(argv[1], "help") == 0) {
        printUsage(argc < 2 ? stderr : stdout);
        return argc < 2 ? 64 : 0;
    }
    const std::vector<std::string> arguments(argv + 2, argv + argc);
    for (const auto& command : kCommands) {
        if (command.name == std::string_view(argv[1])) {
            const auto paths = VmacPaths::fromEnvironment();
            if (auto laidOut = ensureBaseLayout(paths, executableDirectory()); !laidOut) {
                std::fprintf(stderr, "vmac: %s\n", laidOut.error().c_str());
                return 1;
            }
            return command.run(paths, arguments);
        }
    }
    std::fprintf(stderr, "vmac: unknown command '%s'\n\n", argv[1]);
    printUsage(stderr);
    return 64;
}
