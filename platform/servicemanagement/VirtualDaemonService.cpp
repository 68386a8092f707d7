#include "platform/servicemanagement/VirtualDaemonService.h"

#include <chrono>
#include <nlohmann/json.hpp>

#include "platform/launchd/LaunchdClient.h"

namespace lidora::vmac {

namespace {

// launchd answers an unregistration only once the daemon has stopped.
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
    : paths_(std::move(paths)),
      bundle_(std::move(bundle)),
      plistName_(std::move(plistName)),
      loop_(loop),
      status_(paths_, bundle_, plistName_) {}

void VirtualDaemonService::registerService(CompletionHandler completion) {
    change("sm-register", std::move(completion));
}

void VirtualDaemonService::unregister(CompletionHandler completion) {
    change("sm-unregister", std::move(completion));
}

void VirtualDaemonService::change(std::string_view command, CompletionHandler completion) {
    std::erase_if(workers_, [](const Worker& worker) { return worker.done->load(); });
    nlohmann::json request{{"command", command}, {"bundle", bundle_.string()}, {"plistName", plistName_}};
    auto done = std::make_shared<std::atomic<bool>>(false);
    auto work = [paths = paths_, request = std::move(request), completion = std::move(completion), &loop = loop_,
                 &status = status_, done] {
        const auto reply = requestLaunchd(paths, request, kChangeTimeout);
        std::optional<PlatformError> error;
        if (!reply) {
            error = describe(reply.error());
        }
        // launchd records a change before it answers; the caller sees it with the completion.
        status.refresh();
        loop.post([completion, error] { completion(error); });
        done->store(true);
    };
    workers_.push_back(Worker{done, std::jthread(std::move(work))});
}

}  // namespace lidora::vmac
