#pragma once

#include <string_view>

#include "core/ports/DaemonService.h"
#include "core/runtime/Expected.h"
#include "core/runtime/Task.h"

namespace lidora {

enum class HelperStatus { enabled, requiresApproval, notRegistered, notFound };

std::string_view helperStatusName(HelperStatus status);

// Values the service manager may add later count as not found.
HelperStatus helperStatusFromRaw(int raw);

// Registration of the root daemon with the service manager.
class HelperRegistering {
public:
    virtual ~HelperRegistering() = default;
    // Current without waiting: the user approves or removes the daemon
    // behind our back, and the platform follows.
    [[nodiscard]] virtual HelperStatus status() const = 0;
    virtual Task<Expected<void, PlatformError>> registerService() = 0;
    virtual Task<Expected<void, PlatformError>> unregister() = 0;
    virtual void openSystemSettings() = 0;
};

}  // namespace lidora
