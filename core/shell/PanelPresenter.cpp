#include "core/shell/PanelPresenter.h"

#include "core/brightness/BrightnessTables.h"
#include "core/brightness/LogoBrightnessScale.h"
#include "core/effects/KeepsLogoDark.h"
#include "core/runtime/Spawn.h"

namespace lidora {

namespace {

// Each task holds the controller until it is done.
Task<void> refresh(std::shared_ptr<LightController> controller) {
    co_await controller->refresh();
}

Task<void> switchLight(std::shared_ptr<LightController> controller, LightState state) {
    co_await controller->setLight(state);
}

Task<void> reinstall(std::shared_ptr<LightController> controller) {
    co_await controller->reinstallHelper();
}

Task<void> approve(std::shared_ptr<LightController> controller) {
    co_await controller->approveHelper();
}

}  // namespace

PanelPresenter::PanelPresenter(PanelParts parts)
    : parts_(std::move(parts)),
      standard_(parts_.defaults.standard()),
      application_(parts_.loop, [this] { applyBrightness(); }),
      posts_(parts_.loop) {
    auto redraw = [this] { posts_.post([this] { update(); }); };
    phase_ = parts_.controller->subscribePhase([redraw](const Phase&) { redraw(); });
    busy_ = parts_.controller->subscribeBusy([redraw](bool) { redraw(); });
    defaults_ = parts_.defaults.observeChanges(redraw);
    if (parts_.updater != nullptr) {
        pendingVersion_ = parts_.updater->subscribePendingVersion([redraw](const auto&) { redraw(); });
    }
}

void PanelPresenter::attach(PanelView* view) {
    view_ = view;
    update();
}

void PanelPresenter::appeared() {
    brightnessAvailable_ = parts_.brightness.backend().copyProperty(kBrightnessCurveKey).has_value();
    update();
    spawn(parts_.loop, refresh(parts_.controller));
}

PanelState PanelPresenter::state() const {
    const auto& controller = *parts_.controller;
    PanelInputs inputs;
    inputs.phase = controller.phase();
    inputs.busy = controller.isBusy();
    inputs.hardware = controller.hardware();
    inputs.serviceStatus = parts_.registration.status();
    inputs.hasInstallProblem = controller.installProblem().has_value();
    inputs.keepsLogoDark = keepsLogoDark(*standard_);
    inputs.brightnessAvailable = brightnessAvailable_;
    inputs.updatePending = parts_.updater != nullptr && parts_.updater->pendingVersion().has_value();
    return panelState(inputs);
}

double PanelPresenter::level() const {
    return LogoBrightnessController::storedLevel(parts_.brightness.levelStore());
}

void PanelPresenter::update() {
    if (view_ != nullptr) {
        const double current = level();
        view_->render(state(), current, levelText(current));
    }
}

void PanelPresenter::switchFlipped(bool on) {
    spawn(parts_.loop, switchLight(parts_.controller, on ? LightState::on : LightState::off));
}

void PanelPresenter::levelChanged(double level) {
    (void)parts_.brightness.levelStore().set(kLogoBrightnessLevelKey, PreferenceValue(level));
    application_.schedule(kSliderSettleDelay);
}

void PanelPresenter::levelEditingEnded() {
    application_.schedule(Duration::zero());
}

void PanelPresenter::applyBrightness() {
    parts_.brightness.apply(false);
    parts_.controls.reloadControls(kLogoBrightnessControlKind);
}

void PanelPresenter::reinstallHelper() {
    spawn(parts_.loop, reinstall(parts_.controller));
}

void PanelPresenter::openSystemSettings() {
    spawn(parts_.loop, approve(parts_.controller));
}

void PanelPresenter::dismiss() {
    if (view_ != nullptr) {
        view_->dismiss();
    }
}

void PanelPresenter::sendMessage() {
    dismiss();
    parts_.actions.showMessageWindow();
}

void PanelPresenter::openSettings() {
    dismiss();
    parts_.actions.openSettings();
}

void PanelPresenter::showAbout() {
    dismiss();
    parts_.actions.showAboutPanel();
}

void PanelPresenter::updateAvailable() {
    dismiss();
    parts_.application.activate();
    if (auto* updater = parts_.updater; updater != nullptr && updater->controller() != nullptr) {
        updater->controller()->checkForUpdates();
    }
}

void PanelPresenter::quit() {
    parts_.application.terminate();
}

}  // namespace lidora
