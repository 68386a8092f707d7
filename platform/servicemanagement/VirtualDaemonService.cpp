#include "servicemanagement/VirtualDaemonService.h"

#include <chrono>
#include <nlohmann/json.hpp>

#include "launchd/LaunchdClient.h"
#include "launchd/ServiceRegistry.h"

namespace lidora::vmac {

namespace {

// Status is asked often and from the main thread; a stuck launchd must not
// freeze the app for long.
constexpr std::chrono::milliseconds kStatusTimeout{2000};
constexpr std::chrono::milliseconds kChangeTimeout{15000};

PlatformError describe(const LaunchdError& error) {
    if (error.notRunning) {
        return {"The service manager is not available: launchd is not running."};
    }
    return {error.message};
}

}  // namespace

VirtualDaemonService::VirtualDaemonService(VmacPaths paths, std::filesystem::path bundle, std::string plistName,
                                           RunLoop& loop)
    : paths_(std::move(paths)), bundle_(std::move(bundle)), plistName_(std::move(plistName)), loop_(loop) {}

int VirtualDaemonService::status() const {
    const auto reply = requestLaunchd(
        paths_, {{"command", "sm-status"}, {"bundle", bundle_.string()}, {"plistName", plistName_}}, kStatusTimeout);
    if (reply && reply->contains("status") && (*reply)["status"].is_number_integer()) {
        return (*reply)["status"].get<int>();
    }
    return readServiceStatus(ServiceRegistry::of(paths_), bundle_, plistName_);
}

Expected<void, PlatformError> VirtualDaemonService::registerService() {
    const auto reply = requestLaunchd(
        paths_, {{"command", "sm-register"}, {"bundle", bundle_.string()}, {"plistName", plistName_}}, kChangeTimeout);
    if (!reply) {
        return unexpected(describe(reply.error()));
    }
    return {};
}

void VirtualDaemonService::unregister(std::function<void(std::optional<PlatformError>)> completion) {
    const nlohmann::json request{{"command", "sm-unregister"}, {"bundle", bundle_.string()}, {"plistName", plistName_}};
    // launchd answers only once the daemon has stopped; wait off the loop.
    workers_.emplace_back([paths = paths_, request, completion = std::move(completion), &loop = loop_] {
        const auto reply = requestLaunchd(paths, request, kChangeTimeout);
        std::optional<PlatformError> error;
        if (!reply) {
            error = describe(reply.error());
        }
        loop.post([completion, error] { completion(error); });
    });
}

}  // namespace lidora::vmac
