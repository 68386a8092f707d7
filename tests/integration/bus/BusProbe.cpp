// Plays an application on the virtual Mac's bus for tests. Events go to a
// file, one line each, so a test can wait for them.
//   bus-probe                   as an app opened by `vmac open`: claims its
//                               bundle identifier, hears reopen events; lines
//                               "instance PID", "taken", "reopen" in
//                               $VMAC_ROOT/scratch/<CFBundleIdentifier>.events
//   bus-probe post NAME         posts a Darwin notification and exits at
//                               once, as the Control Center extension does
//   bus-probe hold COMBO FILE   registers the hot key as signature 'LDRA',
//                               id 1, then waits: "registered" or "refused
//                               STATUS" (exit 1), and "pressed SIGNATURE ID"
//   bus-probe session           prints "locked true|false" and "power TYPE"
//                               ("none" when unknown), read as an app does
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "platform/bus/ApplicationInstance.h"
#include "platform/bus/BusDarwinNotificationCenter.h"
#include "platform/bus/BusHotKeyEventManager.h"
#include "platform/bus/BusWorkspace.h"
#include "platform/runloop/PollRunLoop.h"
#include "platform/session/VirtualPowerSources.h"
#include "platform/session/VirtualSessionInfo.h"
#include "platform/system/VirtualProcessEnvironment.h"

using namespace lidora;
using namespace lidora::vmac;

namespace {

void note(const std::filesystem::path& file, const std::string& line) {
    std::ofstream out(file, std::ios::app);
    out << line << '\n';
}

int runApp(const VmacPaths& paths) {
    const VirtualProcessEnvironment environment(paths);
    const auto info = environment.bundleInfo();
    const auto found = info.find("CFBundleIdentifier");
    if (found == info.end() || found->second.asString() == nullptr) {
        std::fprintf(stderr, "bus-probe: no CFBundleIdentifier in %s\n", environment.bundlePath().c_str());
        return 1;
    }
    const std::string identifier = *found->second.asString();
    const auto events = paths.root() / "scratch" / (identifier + ".events");
    PollRunLoop loop;
    VmacBus bus(loop, paths, Logger());
    BusWorkspace workspace(bus, identifier);
    const auto reopen = workspace.observeReopen([&] { note(events, "reopen"); });
    const ApplicationInstance instance(bus, identifier, [&](NameClaim claim) {
        if (claim == NameClaim::TakenByAnother) {
            note(events, "taken");
            loop.stop();
            return;
        }
        // Subscriptions were sent before the claim, so they are in place.
        note(events, "instance " + std::to_string(::getpid()));
    });
    loop.run();
    return 0;
}

int hold(const VmacPaths& paths, const std::string& combo, const std::filesystem::path& events) {
    const auto combination = parseKeyCombination(combo);
    if (!combination) {
        std::fprintf(stderr, "bus-probe: %s\n", combination.error().c_str());
        return 64;
    }
    PollRunLoop loop;
    VmacBus bus(loop, paths, Logger());
    BusHotKeyEventManager manager(bus, paths, Logger());
    (void)manager.installHotKeyPressedHandler([&](EventHotKeyID id) {
        note(events, "pressed " + std::to_string(id.signature) + " " + std::to_string(id.id));
        return kNoErr;
    });
    const auto registered =
        manager.registerEventHotKey(combination->keyCode, combination->modifiers, {fourCharCode("LDRA"), 1});
    if (!registered) {
        note(events, "refused " + std::to_string(registered.error()));
        return 1;
    }
    // Announce only once the bus has the press subscription in place.
    Cancellable settled;
    const auto ready = bus.whenConnected([&] { settled = bus.settle([&](bool) { note(events, "registered"); }); });
    loop.run();
    return 0;
}

int printSession(const VmacPaths& paths) {
    const auto session = VirtualSessionInfo(paths).copyCurrentDictionary();
    const auto found = session ? session->find(kSessionScreenIsLockedKey) : PreferenceDictionary::const_iterator();
    const bool locked = session && found != session->end() && found->second.isBool() && *found->second.asBool();
    const VirtualPowerSources sources(paths);
    const auto info = sources.copyPowerSourcesInfo();
    const auto type = info ? sources.providingPowerSourceType(*info) : std::nullopt;
    std::printf("locked %s\npower %s\n", locked ? "true" : "false", type ? type->c_str() : "none");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const auto paths = VmacPaths::fromEnvironment();
    if (argc == 1) {
        return runApp(paths);
    }
    if (argc == 3 && std::string(argv[1]) == "post") {
        PollRunLoop loop;
        VmacBus bus(loop, paths, Logger());
        BusDarwinNotificationCenter(bus).post(argv[2]);
        return 0;
    }
    if (argc == 4 && std::string(argv[1]) == "hold") {
        return hold(paths, argv[2], argv[3]);
    }
    if (argc == 2 && std::string(argv[1]) == "session") {
        return printSession(paths);
    }
    std::fprintf(stderr, "usage: bus-probe [post NAME | hold COMBO FILE | session]\n");
    return 64;
}
