#pragma once

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "runtime/RunLoop.h"
#include "system/DaemonService.h"
#include "vmac/VmacPaths.h"

namespace lidora::vmac {

// The daemon service for a property list in the running app's bundle,
// answered by the virtual Mac's launchd. Status falls back to launchd's
// records when launchd is down.
class VirtualDaemonService final : public DaemonService {
public:
    VirtualDaemonService(VmacPaths paths, std::filesystem::path bundle, std::string plistName, RunLoop& loop);
    VirtualDaemonService(const VirtualDaemonService&) = delete;
    VirtualDaemonService& operator=(const VirtualDaemonService&) = delete;
    // Waits for unregistrations in flight; their completions are already posted.
    ~VirtualDaemonService() override = default;

    [[nodiscard]] int status() const override;
    Expected<void, PlatformError> registerService() override;
    void unregister(std::function<void(std::optional<PlatformError>)> completion) override;

private:
    VmacPaths paths_;
    std::filesystem::path bundle_;
    std::string plistName_;
    RunLoop& loop_;
    std::vector<std::jthread> workers_;  // last, so they are joined first
};

}  // namespace lidora::vmac
