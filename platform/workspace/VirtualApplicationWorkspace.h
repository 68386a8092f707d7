#pragma once

#include <filesystem>

#include "core/ports/ApplicationWorkspace.h"
#include "core/runtime/Logger.h"
#include "platform/bus/VmacBus.h"
#include "platform/vmac/VmacPaths.h"

namespace lidora::vmac {

// NSWorkspace's applications on the virtual Mac. Apps are found among the
// bundles in /Applications by their Info.plist's CFBundleIdentifier. Opening
// one that runs (it owns its bus name) sends it the reopen event when the
// open activates, and leaves it alone otherwise; one that does not run is
// started as `vmac open` starts it. Each open is logged, saying whether it
// activated.
class VirtualApplicationWorkspace final : public ApplicationWorkspace {
public:
    VirtualApplicationWorkspace(RunLoop& loop, VmacBus& bus, VmacPaths paths, Logger log);

    [[nodiscard]] std::optional<std::string> urlForApplication(std::string_view bundleIdentifier) const override;
    Task<Expected<void, std::string>> openApplication(std::string url, OpenConfiguration configuration) override;

private:
    RunLoop& loop_;
    VmacBus& bus_;
    VmacPaths paths_;
    Logger log_;
};

// The installed bundle with that identifier, as the virtual Mac names it
// (/Applications/NAME.app); empty when none is installed.
std::optional<std::filesystem::path> installedApplication(const VmacPaths& paths, std::string_view bundleIdentifier);

}  // namespace lidora::vmac
