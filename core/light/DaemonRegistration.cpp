#include "core/light/DaemonRegistration.h"

#include <optional>

#include "core/runtime/Completion.h"

namespace lidora {

DaemonRegistration::DaemonRegistration(DaemonService& service, SystemSettings& settings, RunLoop& loop)
    : service_(service), settings_(settings), loop_(loop) {}

HelperStatus DaemonRegistration::status() const {
    return helperStatusFromRaw(service_.status());
}

Task<Expected<void, PlatformError>> DaemonRegistration::registerService() {
    return change(&DaemonService::registerService);
}

Task<Expected<void, PlatformError>> DaemonRegistration::unregister() {
    return change(&DaemonService::unregister);
}

Task<Expected<void, PlatformError>> DaemonRegistration::change(Change request) {
    const Completion<std::optional<PlatformError>> done(loop_);
    (service_.*request)([done](std::optional<PlatformError> error) { done.resolve(std::move(error)); });
    const std::optional<PlatformError> error = co_await done;
    if (error) {
        co_return unexpected(*error);
    }
    co_return Expected<void, PlatformError>{};
}

void DaemonRegistration::openSystemSettings() {
    settings_.openLoginItems();
}

}  // namespace lidora
