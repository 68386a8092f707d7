#include "core/shell/Updater.h"

namespace lidora {

Updater::Updater(const StandardUpdaterControllerFactory& makeController, RunLoop& loop, Logger log)
    : log_(std::move(log)), posts_(loop) {
    controller_ = makeController(true, *this);
    if (controller_) {
        // Withdrawn before the controller goes (see the destructor).
        canCheckObservation_ = controller_->observeCanCheckForUpdates(
            [this] { canCheckForUpdates_.set(controller_->canCheckForUpdates()); }, true);
    }
}

Updater::~Updater() {
    canCheckObservation_.cancel();
}

bool Updater::automaticallyChecksForUpdates() const {
    return controller_ && controller_->automaticallyChecksForUpdates();
}

void Updater::setAutomaticallyChecksForUpdates(bool enabled) {
    if (controller_) {
        controller_->setAutomaticallyChecksForUpdates(enabled);
    }
}

bool Updater::standardUserDriverShouldHandleShowingScheduledUpdate(const AppcastItem& /*update*/, bool immediateFocus) {
    return immediateFocus;
}

void Updater::standardUserDriverWillHandleShowingUpdate(bool handleShowingUpdate, const AppcastItem& update,
                                                        const UserUpdateState& /*state*/) {
    setPendingVersionLater(handleShowingUpdate ? std::nullopt : std::optional(update.displayVersionString));
}

void Updater::standardUserDriverDidReceiveUserAttention(const AppcastItem& /*update*/) {
    setPendingVersionLater(std::nullopt);
}

void Updater::standardUserDriverWillFinishUpdateSession() {
    setPendingVersionLater(std::nullopt);
}

void Updater::setPendingVersionLater(std::optional<std::string> version) {
    posts_.post([this, version = std::move(version)]() mutable {
        if (version && version != pendingVersion_.get()) {
            log_.notice("Update %{public}s offered in the menu", *version);
        }
        pendingVersion_.set(std::move(version));
    });
}

}  // namespace lidora
