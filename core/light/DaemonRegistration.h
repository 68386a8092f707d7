#pragma once

#include <string_view>

#include "core/light/HelperRegistering.h"
#include "core/ports/DaemonService.h"
#include "core/ports/RunLoop.h"

namespace lidora {

// The daemon's launchd property list inside the app bundle.
inline constexpr std::string_view kHelperPlistName = "com.zelquin.lidora.helper.plist";

// Registers the root daemon through the service manager.
class DaemonRegistration final : public HelperRegistering {
public:
    DaemonRegistration(DaemonService& service, SystemSettings& settings, RunLoop& loop);

    [[nodiscard]] HelperStatus status() const override;
    Task<Expected<void, PlatformError>> registerService() override;
    Task<Expected<void, PlatformError>> unregister() override;
    void openSystemSettings() override;

private:
    using Change = void (DaemonService::*)(DaemonService::CompletionHandler);
    Task<Expected<void, PlatformError>> change(Change request);

    DaemonService& service_;
    SystemSettings& settings_;
    RunLoop& loop_;
};

}  // namespace lidora
