#pragma once

#include <atomic>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "core/ports/DaemonService.h"
#include "core/ports/RunLoop.h"
#include "platform/servicemanagement/ServiceStatusWatch.h"
#include "platform/vmac/VmacPaths.h"

namespace lidora::vmac {

// The daemon service for a property list in the running app's bundle,
// answered by the virtual Mac's launchd. Nothing here waits on the caller's
// thread: the status is kept current in the background, and registering and
// unregistering wait for launchd on threads of their own.
class VirtualDaemonService final : public DaemonService {
public:
    VirtualDaemonService(VmacPaths paths, std::filesystem::path bundle, std::string plistName, RunLoop& loop);
    VirtualDaemonService(const VirtualDaemonService&) = delete;
    VirtualDaemonService& operator=(const VirtualDaemonService&) = delete;
    // Waits for changes in flight; their completions are already posted.
    ~VirtualDaemonService() override = default;

    [[nodiscard]] int status() const override { return status_.current(); }
    void registerService(CompletionHandler completion) override;
    void unregister(CompletionHandler completion) override;

private:
    struct Worker {
        std::shared_ptr<std::atomic<bool>> done;
        std::jthread thread;
    };

    void change(std::string_view command, CompletionHandler completion);

    VmacPaths paths_;
    std::filesystem::path bundle_;
    std::string plistName_;
    RunLoop& loop_;
    ServiceStatusWatch status_;
    std::vector<Worker> workers_;  // last, so they are joined first
};

}  // namespace lidora::vmac
