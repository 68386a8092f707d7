// vmac controlcenter: Control Center's controls, as it shows and uses them.
// Each value and each action starts the control's extension process.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <optional>

#include "platform/bus/BusProtocol.h"
#include "platform/controlcenter/ControlCatalog.h"
#include "platform/controlcenter/ControlLine.h"
#include "platform/runloop/PollRunLoop.h"
#include "platform/tools/vmac/Command.h"
#include "platform/vmac/VmacLayout.h"

namespace lidora::vmac {

namespace {

constexpr const char* kUsage =
    "usage: vmac controlcenter [--preview]\n"
    "       vmac controlcenter toggle NAME on|off\n"
    "       vmac controlcenter tap NAME\n"
    "       vmac controlcenter watch [--for SECONDS]\n"
    "       vmac controlcenter --window\n\n"
    "Shows the Control Center controls of the installed apps as Control Center\n"
    "does (title, value, symbol, and on or off for a switch), each value from a\n"
    "new process of the control's extension; --preview shows the preview values.\n"
    "toggle sets a switch, tap presses a button; each prints what the control\n"
    "shows afterwards, or the action's error and exits 1. NAME is a control's\n"
    "kind or its last part (logo-light, logo-brightness). watch shows the\n"
    "controls again each time an app asks to reload them. --window shows them\n"
    "in a window when a desktop session is present.\n";

void printControl(const ControlExtensionHost& host, const OfferedControl& control, ControlRequest::Kind request) {
    std::printf("%s\n", controlLine(control.description.displayName,
                                    shownTemplate(host, control.extension, control.description.kind, request))
                            .c_str());
    std::fflush(stdout);
}

int show(const VmacPaths& paths, bool preview) {
    const ControlExtensionHost host(paths);
    const auto controls = offeredControls(host, paths);
    if (!controls) {
        std::fprintf(stderr, "vmac controlcenter: %s\n", controls.error().c_str());
        return 1;
    }
    if (controls->empty()) {
        std::fprintf(stderr, "vmac controlcenter: no installed app offers Control Center controls\n");
        return 1;
    }
    for (const auto& control : *controls) {
        printControl(host, control, preview ? ControlRequest::Kind::preview : ControlRequest::Kind::value);
    }
    return 0;
}

// The extension serving `name`: a kind names its extension by prefix; a
// short name is taken as the last part of a kind of some extension.
std::optional<std::pair<ControlExtension, std::string>> resolve(const VmacPaths& paths, const std::string& name) {
    for (const auto& extension : installedControlExtensions(paths)) {
        const auto prefix = extension.identifier + ".";
        if (name.starts_with(prefix)) {
            return std::pair{extension, name};
        }
        if (name.find('.') == std::string::npos) {
            return std::pair{extension, prefix + name};
        }
    }
    return std::nullopt;
}

int act(const VmacPaths& paths, const std::string& name, std::optional<bool> value) {
    const auto target = resolve(paths, name);
    if (!target) {
        std::fprintf(stderr, "vmac controlcenter: no installed extension offers a control %s\n", name.c_str());
        return 1;
    }
    const auto& [extension, kind] = *target;
    const ControlExtensionHost host(paths);
    // The process that reads the control again afterwards starts meanwhile.
    auto refresh = host.launch(extension);
    const auto done = host.request(extension, ControlRequest{ControlRequest::Kind::perform, kind, value});
    if (!done) {
        std::fprintf(stderr, "vmac controlcenter: %s\n", done.error().c_str());
        return 1;
    }
    if (done->failure) {
        // What Control Center shows under the control.
        std::printf("%s\n", done->failure->c_str());
        return 1;
    }
    // The system refreshes the control it acted on.
    Expected<ControlTemplate, std::string> after = unexpected(std::string());
    if (refresh) {
        const auto reply = host.request(std::move(refresh).value(), {ControlRequest::Kind::value, kind, std::nullopt});
        if (!reply) {
            after = unexpected(reply.error());
        } else if (reply->failure || !reply->shown) {
            after = unexpected(reply->failure.value_or("no value"));
        } else {
            after = *reply->shown;
        }
    } else {
        after = shownTemplate(host, extension, kind, ControlRequest::Kind::value);
    }
    std::printf("%s\n", controlLine(after ? after->title : kind, after).c_str());
    return 0;
}

int watch(const VmacPaths& paths, std::optional<int> seconds) {
    const ControlExtensionHost host(paths);
    const auto controls = offeredControls(host, paths);
    if (!controls) {
        std::fprintf(stderr, "vmac controlcenter: %s\n", controls.error().c_str());
        return 1;
    }
    PollRunLoop loop;
    VmacBus bus(loop, paths, Logger());
    const auto reloads = bus.subscribe(kControlsReloaded, std::nullopt, [&](sd_bus_message* message) {
        const char* kind = nullptr;
        if (sd_bus_message_read(message, "s", &kind) < 0 || kind == nullptr) {
            return;
        }
        for (const auto& control : *controls) {
            if (control.description.kind == kind) {
                printControl(host, control, ControlRequest::Kind::value);
            }
        }
    });
    for (const auto& control : *controls) {
        printControl(host, control, ControlRequest::Kind::value);
    }
    if (seconds) {
        loop.runUntil(loop.now() + std::chrono::seconds(*seconds));
    } else {
        loop.run();
    }
    return 0;
}

int showWindow(const std::vector<std::string>& arguments) {
    if (std::getenv("DISPLAY") == nullptr && std::getenv("WAYLAND_DISPLAY") == nullptr &&
        std::getenv("QT_QPA_PLATFORM") == nullptr) {
        std::fprintf(stderr, "vmac controlcenter: --window needs a desktop session (DISPLAY or WAYLAND_DISPLAY)\n");
        return 1;
    }
    std::vector<std::string> rest;
    std::copy_if(arguments.begin(), arguments.end(), std::back_inserter(rest),
                 [](const std::string& argument) { return argument != "--window"; });
    return execSibling("controlcenter-window", rest, "vmac controlcenter");
}

}  // namespace

int runControlCenter(const VmacPaths& paths, const std::vector<std::string>& arguments) {
    if (wantsHelp(arguments)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (arguments.empty() || (arguments.size() == 1 && arguments[0] == "--preview")) {
        return show(paths, !arguments.empty());
    }
    if (arguments.size() == 1 && arguments[0] == "--window") {
        return showWindow(arguments);
    }
    if (arguments.size() == 3 && arguments[0] == "toggle" && (arguments[2] == "on" || arguments[2] == "off")) {
        return act(paths, arguments[1], arguments[2] == "on");
    }
    if (arguments.size() == 2 && arguments[0] == "tap") {
        return act(paths, arguments[1], std::nullopt);
    }
    if (arguments[0] == "watch" && arguments.size() == 1) {
        return watch(paths, std::nullopt);
    }
    if (arguments[0] == "watch" && arguments.size() == 3 && arguments[1] == "--for") {
        char* end = nullptr;
        const long seconds = std::strtol(arguments[2].c_str(), &end, 10);
        if (end != nullptr && *end == '\0' && seconds > 0 && seconds <= 86400) {
            return watch(paths, static_cast<int>(seconds));
        }
    }
    std::fputs(kUsage, stderr);
    return 64;
}

}  // namespace lidora::vmac
