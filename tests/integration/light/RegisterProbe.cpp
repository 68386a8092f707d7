// Plays the app for tests: run from <bundle>/Contents/MacOS/, it registers
// the bundle's helper and starts the light controller as Lidora does.
//   register-probe status | register | unregister | approve-request | start
//                  [--bundle PATH] [--plist NAME]
// --bundle and --plist claim another bundle or property list than the
// probe's own, as a hostile program would.
// Exit status: 0 success (start: the light is ready), 1 a failure, with the
// platform's or the controller's message, 64 bad usage.
#include <chrono>
#include <cstdio>
#include <string>

#include "core/light/DaemonRegistration.h"
#include "core/light/HelperClient.h"
#include "core/light/InstallLocation.h"
#include "core/light/LightController.h"
#include "core/runtime/Spawn.h"
#include "platform/log/UnifiedLogSink.h"
#include "platform/runloop/PollRunLoop.h"
#include "platform/servicemanagement/VirtualDaemonService.h"
#include "platform/system/VirtualProcessEnvironment.h"
#include "platform/system/VirtualSystemControl.h"
#include "platform/system/VirtualSystemSettings.h"
#include "platform/xpc/MachService.h"
#include "platform/xpc/XpcClientConnection.h"

using namespace lidora;
using namespace lidora::vmac;

namespace {

constexpr auto kHelperTimeout = std::chrono::seconds(5);

Task<void> unregisterThenStop(PollRunLoop& loop, DaemonRegistration& registration, int& status) {
    const auto result = co_await registration.unregister();
    if (result) {
        std::printf("unregistered\n");
        status = 0;
    } else {
        std::printf("%s\n", result.error().localizedDescription.c_str());
        status = 1;
    }
    loop.stop();
}

Task<void> registerThenStop(PollRunLoop& loop, DaemonRegistration& registration, int& status) {
    const auto registered = co_await registration.registerService();
    std::printf("%s\n", registered ? "registered" : registered.error().localizedDescription.c_str());
    status = registered ? 0 : 1;
    loop.stop();
}

// As the app's Approve button: register first when nothing is recorded yet.
Task<void> approveRequestThenStop(PollRunLoop& loop, DaemonRegistration& registration) {
    const auto status = registration.status();
    if (status == HelperStatus::notRegistered || status == HelperStatus::notFound) {
        (void)co_await registration.registerService();
    }
    registration.openSystemSettings();
    std::printf("%s\n", std::string(helperStatusName(registration.status())).c_str());
    loop.stop();
}

Task<void> startThenStop(PollRunLoop& loop, LightController& controller) {
    co_await controller.start();
    loop.stop();
}

int start(PollRunLoop& loop, DaemonRegistration& registration, const VmacPaths& paths,
          VirtualProcessEnvironment& environment) {
    VirtualXpcConnector connector(loop, machServiceSocket(paths, "").parent_path());
    HelperClient client(loop, connector, kHelperTimeout);
    const VirtualSystemControl control(paths);
    const std::string model = readModelIdentifier(control);
    LightController controller(
        classifyModel(model), model, installProblemFor(environment.bundlePath()), client, registration, [] {},
        Logger(UnifiedLogSink::forCurrentProcess(), std::string(kLogSubsystem), "light"), loop, environment);
    spawn(loop, startThenStop(loop, controller));
    loop.run();
    std::printf("%s\n%s\n", controller.phase().text().c_str(), controller.diagnostics().c_str());
    return controller.phase().asReady() != nullptr ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string verb = argc >= 2 ? argv[1] : "";
    const auto paths = VmacPaths::fromEnvironment();
    VirtualProcessEnvironment environment(paths);
    std::string bundle = environment.hostBundlePath().string();
    std::string plistName(kHelperPlistName);
    bool usage =
        verb != "status" && verb != "register" && verb != "unregister" && verb != "approve-request" && verb != "start";
    for (int i = 2; i + 1 < argc && !usage; i += 2) {
        const std::string option = argv[i];
        if (option == "--bundle") {
            bundle = argv[i + 1];
        } else if (option == "--plist") {
            plistName = argv[i + 1];
        } else {
            usage = true;
        }
    }
    if (usage || argc % 2 != 0) {
        std::fprintf(stderr,
                     "usage: register-probe status|register|unregister|approve-request|start "
                     "[--bundle PATH] [--plist NAME]\n");
        return 64;
    }
    PollRunLoop loop;
    VirtualDaemonService service(paths, bundle, plistName, loop);
    VirtualSystemSettings settings(paths);
    DaemonRegistration registration(service, settings, loop);

    if (verb == "status") {
        std::printf("%d %s\n", service.status(), std::string(helperStatusName(registration.status())).c_str());
        return 0;
    }
    if (verb == "register") {
        int status = 1;
        spawn(loop, registerThenStop(loop, registration, status));
        loop.run();
        return status;
    }
    if (verb == "approve-request") {
        spawn(loop, approveRequestThenStop(loop, registration));
        loop.run();
        return 0;
    }
    if (verb == "unregister") {
        int status = 1;
        spawn(loop, unregisterThenStop(loop, registration, status));
        loop.run();
        return status;
    }
    return start(loop, registration, paths, environment);
}
