#include "platform/workspace/BusRunningApplications.h"

#include <chrono>

#include "core/runtime/Completion.h"

namespace lidora::vmac {

namespace {

// A bus that does not answer counts as no app running.
constexpr auto kQueryLimit = std::chrono::seconds(2);

}  // namespace

Task<std::vector<std::int32_t>> BusRunningApplications::runningApplications(std::string bundleIdentifier) {
    const Completion<std::optional<pid_t>> owner(loop_);
    const auto query = bus_.queryNameOwnerPid(busNameForBundleIdentifier(bundleIdentifier),
                                              [owner](std::optional<pid_t> pid) { owner.resolve(pid); });
    const auto limit = loop_.scheduleAfter(kQueryLimit, [owner] { owner.resolve(std::nullopt); });
    const auto pid = co_await owner;
    if (!pid) {
        co_return std::vector<std::int32_t>{};
    }
    co_return std::vector<std::int32_t>{static_cast<std::int32_t>(*pid)};
}

}  // namespace lidora::vmac
