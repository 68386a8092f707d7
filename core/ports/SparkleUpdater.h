#pragma once

#include <functional>
#include <memory>
#include <string>

#include "core/runtime/Cancellable.h"

namespace lidora {

// SUAppcastItem, as far as the app reads it.
struct AppcastItem {
    std::string versionString;         // the build (CFBundleVersion) it carries
    std::string displayVersionString;  // what the user sees
};

// SPUUserUpdateState.
struct UserUpdateState {
    enum class Stage { notDownloaded, downloaded, installing };
    Stage stage = Stage::notDownloaded;
    bool userInitiated = false;
};

// SPUStandardUserDriverDelegate: the answers the app gives Sparkle's
// standard user interface. Called on the run loop.
class StandardUserDriverDelegate {
public:
    virtual ~StandardUserDriverDelegate() = default;

    [[nodiscard]] virtual bool supportsGentleScheduledUpdateReminders() const = 0;
    [[nodiscard]] virtual bool standardUserDriverShouldHandleShowingScheduledUpdate(const AppcastItem& update,
                                                                                    bool immediateFocus) = 0;
    virtual void standardUserDriverWillHandleShowingUpdate(bool handleShowingUpdate, const AppcastItem& update,
                                                           const UserUpdateState& state) = 0;
    virtual void standardUserDriverDidReceiveUserAttention(const AppcastItem& update) = 0;
    virtual void standardUserDriverWillFinishUpdateSession() = 0;
};

// SPUStandardUpdaterController with its SPUUpdater.
class StandardUpdaterController {
public:
    virtual ~StandardUpdaterController() = default;

    // checkForUpdates: a user-initiated check with Sparkle's own window.
    virtual void checkForUpdates() = 0;
    [[nodiscard]] virtual bool canCheckForUpdates() const = 0;
    // Key-value observation of canCheckForUpdates; with `initial` the
    // handler also runs once at once.
    [[nodiscard]] virtual Cancellable observeCanCheckForUpdates(std::function<void()> handler, bool initial) = 0;
    [[nodiscard]] virtual bool automaticallyChecksForUpdates() const = 0;
    virtual void setAutomaticallyChecksForUpdates(bool enabled) = 0;
};

// initWithStartingUpdater:updaterDelegate:userDriverDelegate:. The delegate
// outlives the controller.
using StandardUpdaterControllerFactory = std::function<std::unique_ptr<StandardUpdaterController>(
    bool startingUpdater, StandardUserDriverDelegate& userDriverDelegate)>;

}  // namespace lidora
