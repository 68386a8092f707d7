#include "platform/workspace/VirtualApplicationWorkspace.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>

#include "core/runtime/Completion.h"
#include "platform/bus/BusWorkspace.h"
#include "platform/process/DetachedProcess.h"
#include "platform/system/VirtualProcessEnvironment.h"

namespace lidora::vmac {

namespace {

constexpr auto kBusLimit = std::chrono::seconds(2);

std::string stringEntry(const PreferenceDictionary& info, std::string_view key) {
    const auto found = info.find(key);
    const auto* text = found == info.end() ? nullptr : found->second.asString();
    return text == nullptr ? std::string() : *text;
}

}  // namespace

std::optional<std::filesystem::path> installedApplication(const VmacPaths& paths, std::string_view bundleIdentifier) {
    std::error_code error;
    std::vector<std::filesystem::path> bundles;
    for (const auto& item : std::filesystem::directory_iterator(paths.applications(), error)) {
        // Symlinks are not bundles LaunchServices registers here.
        if (item.path().extension() == ".app" && !item.is_symlink(error) && item.is_directory(error)) {
            bundles.push_back(item.path());
        }
    }
    std::sort(bundles.begin(), bundles.end());
    for (const auto& bundle : bundles) {
        if (stringEntry(readBundleInfo(bundle), "CFBundleIdentifier") == bundleIdentifier) {
            return bundle;
        }
    }
    return std::nullopt;
}

VirtualApplicationWorkspace::VirtualApplicationWorkspace(RunLoop& loop, VmacBus& bus, VmacPaths paths, Logger log)
    : loop_(loop), bus_(bus), paths_(std::move(paths)), log_(std::move(log)) {}

std::optional<std::string> VirtualApplicationWorkspace::urlForApplication(std::string_view bundleIdentifier) const {
    const auto bundle = installedApplication(paths_, bundleIdentifier);
    if (!bundle) {
        return std::nullopt;
    }
    return "/" + bundle->lexically_relative(paths_.root()).string();
}

Task<Expected<void, std::string>> VirtualApplicationWorkspace::openApplication(std::string url,
                                                                               OpenConfiguration configuration) {
    const auto bundle = paths_.systemPath(url);
    const auto info = readBundleInfo(bundle);
    const auto identifier = stringEntry(info, "CFBundleIdentifier");
    const auto executable = stringEntry(info, "CFBundleExecutable");
    const auto program = bundle / "Contents" / "MacOS" / executable;
    if (identifier.empty() || executable.empty() || executable.find('/') != std::string::npos ||
        ::access(program.c_str(), X_OK) != 0) {
        co_return unexpected(url + " is no application");
    }

    const Completion<std::optional<pid_t>> owner(loop_);
    const auto query = bus_.queryNameOwnerPid(busNameForBundleIdentifier(identifier),
                                              [owner](std::optional<pid_t> pid) { owner.resolve(pid); });
    const auto limit = loop_.scheduleAfter(kBusLimit, [owner] { owner.resolve(std::nullopt); });
    if (const auto running = co_await owner) {
        if (!configuration.activates) {
            log_.notice("%{public}s runs (pid %d); left in the background", identifier, *running);
            co_return Expected<void, std::string>{};
        }
        if (!postReopen(bus_, identifier)) {
            co_return unexpected("cannot send the reopen event to " + identifier);
        }
        log_.notice("Reopened %{public}s (pid %d), activating it", identifier, *running);
        co_return Expected<void, std::string>{};
    }
    const auto started =
        startDetached(paths_, {program.string()}, paths_.root() / "var" / "log" / (bundle.stem().string() + ".log"));
    if (!started) {
        log_.error("Cannot open %{public}s: %{public}s", url, started.error());
        co_return unexpected(started.error());
    }
    log_.notice("Launched %{public}s (pid %d) %{public}s", identifier, *started,
                std::string(configuration.activates ? "activating it" : "in the background"));
    co_return Expected<void, std::string>{};
}

}  // namespace lidora::vmac
