// vmac open NAME|PATH: opens an application as LaunchServices does: a copy
// that runs already gets the reopen event, else the bundle's executable
// starts.
#include <unistd.h>

#include <cstdio>

#include "platform/bus/BusWorkspace.h"
#include "platform/process/DetachedProcess.h"
#include "platform/system/VirtualProcessEnvironment.h"
#include "platform/tools/vmac/Command.h"
#include "platform/tools/vmac/CommandBus.h"

namespace lidora::vmac {

namespace {

// "Lidora" is /Applications/Lidora.app; a path names the bundle, a macOS
// absolute path ("/Applications/Lidora.app") lying under the root.
std::filesystem::path bundleFor(const VmacPaths& paths, const std::string& argument) {
    if (argument.find('/') == std::string::npos) {
        return paths.applications() / (argument.ends_with(".app") ? argument : argument + ".app");
    }
    const std::filesystem::path path(argument);
    if (path.is_absolute() && std::filesystem::is_directory(paths.systemPath(path))) {
        return paths.systemPath(path);
    }
    return std::filesystem::absolute(path);
}

std::string stringEntry(const PreferenceDictionary& info, std::string_view key) {
    const auto found = info.find(key);
    const auto* text = found == info.end() ? nullptr : found->second.asString();
    return text == nullptr ? std::string() : *text;
}

}  // namespace

int runOpen(const VmacPaths& paths, const std::vector<std::string>& arguments) {
    constexpr const char* kUsage =
        "usage: vmac open NAME|PATH\n\n"
        "Opens an application as the system does: NAME is an app in /Applications\n"
        "(Lidora means /Applications/Lidora.app), PATH a bundle. When a copy runs\n"
        "already, it gets the reopen event; else the bundle's executable starts in\n"
        "the background with its output in var/log/NAME.log, and its pid is printed.\n";
    if (wantsHelp(arguments)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (arguments.size() != 1 || arguments[0].empty()) {
        std::fputs(kUsage, stderr);
        return 64;
    }
    const auto bundle = bundleFor(paths, arguments[0]);
    const auto name = bundle.stem().string();
    if (!std::filesystem::is_directory(bundle)) {
        std::fprintf(stderr, "vmac open: there is no application %s\n", bundle.c_str());
        return 1;
    }
    const auto info = readBundleInfo(bundle);
    const auto executable = stringEntry(info, "CFBundleExecutable");
    const auto program = bundle / "Contents" / "MacOS" / executable;
    if (executable.empty() || executable.find('/') != std::string::npos || ::access(program.c_str(), X_OK) != 0) {
        std::fprintf(stderr, "vmac open: %s has no executable named by CFBundleExecutable in Contents/Info.plist\n",
                     bundle.c_str());
        return 1;
    }
    const auto identifier = stringEntry(info, "CFBundleIdentifier");
    CommandBus command(paths);
    if (!command.connect()) {
        std::fprintf(stderr, "vmac open: %s; cannot tell whether %s runs already\n", kNoBusMessage, name.c_str());
    } else if (!identifier.empty()) {
        if (const auto running = command.ownerOf(busNameForBundleIdentifier(identifier))) {
            if (!postReopen(command.bus(), identifier) || !command.settle()) {
                std::fprintf(stderr, "vmac open: %s runs (pid %d) but the reopen event was not delivered\n",
                             name.c_str(), static_cast<int>(*running));
                return 1;
            }
            std::printf("%s is already running (pid %d); sent it the reopen event\n", name.c_str(),
                        static_cast<int>(*running));
            return 0;
        }
    }
    const auto started = startDetached(paths, {program.string()}, paths.root() / "var" / "log" / (name + ".log"));
    if (!started) {
        std::fprintf(stderr, "vmac open: %s\n", started.error().c_str());
        return 1;
    }
    std::printf("%s started (pid %d)\n", name.c_str(), static_cast<int>(*started));
    return 0;
}

}  // namespace lidora::vmac
