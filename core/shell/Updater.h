#pragma once

#include <memory>
#include <optional>
#include <string>

#include "core/ports/RunLoop.h"
#include "core/ports/SparkleUpdater.h"
#include "core/runtime/Logger.h"
#include "core/runtime/Observable.h"
#include "core/runtime/OwnedPosts.h"

namespace lidora {

// The app's side of the update framework: starts its standard updater and
// keeps scheduled updates gentle. An update found in the background while
// the app is not in focus is not put in front of the user; its version
// is published instead and the menu offers it. Use on the run loop.
class Updater final : public StandardUserDriverDelegate {
public:
    // `log` should have category "app".
    Updater(const StandardUpdaterControllerFactory& makeController, RunLoop& loop, Logger log = {});
    ~Updater() override;
    Updater(const Updater&) = delete;
    Updater& operator=(const Updater&) = delete;

    [[nodiscard]] const std::optional<std::string>& pendingVersion() const { return pendingVersion_.get(); }
    [[nodiscard]] Subscription subscribePendingVersion(Observable<std::optional<std::string>>::Callback callback) {
        return pendingVersion_.subscribe(std::move(callback));
    }
    [[nodiscard]] bool canCheckForUpdates() const { return canCheckForUpdates_.get(); }
    [[nodiscard]] Subscription subscribeCanCheckForUpdates(Observable<bool>::Callback callback) {
        return canCheckForUpdates_.subscribe(std::move(callback));
    }
    [[nodiscard]] bool automaticallyChecksForUpdates() const;
    void setAutomaticallyChecksForUpdates(bool enabled);

    // The standard controller; absent only if the framework gave none.
    [[nodiscard]] StandardUpdaterController* controller() { return controller_.get(); }

    [[nodiscard]] bool supportsGentleScheduledUpdateReminders() const override { return true; }
    [[nodiscard]] bool standardUserDriverShouldHandleShowingScheduledUpdate(const AppcastItem& update,
                                                                            bool immediateFocus) override;
    void standardUserDriverWillHandleShowingUpdate(bool handleShowingUpdate, const AppcastItem& update,
                                                   const UserUpdateState& state) override;
    void standardUserDriverDidReceiveUserAttention(const AppcastItem& update) override;
    void standardUserDriverWillFinishUpdateSession() override;

private:
    // Delegate calls may come from the framework's own queues; the change
    // is made later on the run loop, and only if the updater still exists.
    void setPendingVersionLater(std::optional<std::string> version);

    Logger log_;
    Observable<std::optional<std::string>> pendingVersion_;
    Observable<bool> canCheckForUpdates_{false};
    OwnedPosts posts_;
    std::unique_ptr<StandardUpdaterController> controller_;
    Cancellable canCheckObservation_;
};

}  // namespace lidora
