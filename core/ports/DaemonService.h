#pragma once

#include <functional>
#include <optional>
#include <string>

namespace lidora {

// An error the platform reports, with its localised description.
struct PlatformError {
    std::string localizedDescription;
    friend bool operator==(const PlatformError&, const PlatformError&) = default;
};

// The service manager's handle for a launch daemon whose property list ships
// in the running app's bundle (a daemon service for a property-list name).
class DaemonService {
public:
    // The service manager's raw status: 0 not registered, 1 enabled,
    // 2 requires approval, 3 not found.
    enum RawStatus : int { notRegistered = 0, enabled = 1, requiresApproval = 2, notFound = 3 };

    using CompletionHandler = std::function<void(std::optional<PlatformError>)>;

    virtual ~DaemonService() = default;
    // The latest status the service manager gave, kept current as it
    // changes; answers at once, so views may ask on every redraw.
    [[nodiscard]] virtual int status() const = 0;
    // Both complete later, on the caller's run loop, with status() already
    // up to date. Registering fails while approval is pending or when the
    // property list is missing from the bundle.
    virtual void registerService(CompletionHandler completion) = 0;
    virtual void unregister(CompletionHandler completion) = 0;
};

// System Settings, opened at a pane.
class SystemSettings {
public:
    virtual ~SystemSettings() = default;
    virtual void openLoginItems() = 0;
};

}  // namespace lidora
