#include "shell/PanelPresenter.h"

#include "brightness/BrightnessTables.h"
#include "brightness/LogoBrightnessScale.h"
#include "effects/KeepsLogoDark.h"
#include "runtime/Spawn.h"

namespace lidora {

namespace {

Task<void> refresh(LightController& controller) {
    co_await controller.refresh();
}

Task<void> switchLight(LightController& controller, LightState state) {
    co_await controller.setLight(state);
}

Task<void> reinstall(LightController& controller) {
    co_await controller.reinstallHelper();
}

}  // namespace

PanelPresenter::PanelPresenter(AppDelegate& app) : app_(app), application_(app.loop(), [this] { applyBrightness(); }) {
    auto redraw = [this, alive = std::weak_ptr<bool>(alive_)] {
        app_.loop().post([this, alive] {
            if (!alive.expired()) {
                update();
            }
        });
    };
    phase_ = app_.controller().subscribePhase([redraw](const Phase&) { redraw(); });
    busy_ = app_.controller().subscribeBusy([redraw](bool) { redraw(); });
    defaults_ = app_.defaultsProvider().observeChanges(redraw);
    if (auto* updater = app_.updater()) {
        pendingVersion_ = updater->subscribePendingVersion([redraw](const auto&) { redraw(); });
    }
}

PanelPresenter::~PanelPresenter() {
    *alive_ = false;
}

void PanelPresenter::attach(PanelView* view) {
    view_ = view;
    update();
}

void PanelPresenter::appeared() {
    brightnessAvailable_ = app_.brightness().backend().copyProperty(kBrightnessCurveKey).has_value();
    update();
    spawn(app_.loop(), refresh(app_.controller()));
}

PanelState PanelPresenter::state() const {
    auto& controller = app_.controller();
    const auto& standard = app_.standardDefaults();
    PanelInputs inputs;
    inputs.phase = controller.phase();
    inputs.busy = controller.isBusy();
    inputs.hardware = controller.hardware();
    inputs.serviceStatus = app_.registration().status();
    inputs.hasInstallProblem = controller.installProblem().has_value();
    inputs.keepsLogoDark = keepsLogoDark(standard);
    inputs.brightnessAvailable = brightnessAvailable_;
    inputs.updatePending = app_.updater() != nullptr && app_.updater()->pendingVersion().has_value();
    return panelState(inputs);
}

double PanelPresenter::level() const {
    return LogoBrightnessController::storedLevel(app_.brightness().levelStore());
}

void PanelPresenter::update() {
    if (view_ != nullptr) {
        const double current = level();
        view_->render(state(), current, levelText(current));
    }
}

void PanelPresenter::switchFlipped(bool on) {
    spawn(app_.loop(), switchLight(app_.controller(), on ? LightState::on : LightState::off));
}

void PanelPresenter::levelChanged(double level) {
    (void)app_.brightness().levelStore().set(kLogoBrightnessLevelKey, PreferenceValue(level));
    application_.schedule(kSliderSettleDelay);
}

void PanelPresenter::levelEditingEnded() {
    application_.schedule(Duration::zero());
}

void PanelPresenter::applyBrightness() {
    app_.brightness().apply(false);
    app_.controls().reloadControls(kLogoBrightnessControlKind);
}

void PanelPresenter::reinstallHelper() {
    spawn(app_.loop(), reinstall(app_.controller()));
}

void PanelPresenter::openSystemSettings() {
    app_.controller().approveHelper();
}

void PanelPresenter::sendMessage() {
    if (view_ != nullptr) {
        view_->dismiss();
    }
    app_.showMessageWindow();
}

void PanelPresenter::openSettings() {
    if (view_ != nullptr) {
        view_->dismiss();
    }
    app_.openSettings();
}

void PanelPresenter::showAbout() {
    if (view_ != nullptr) {
        view_->dismiss();
    }
    app_.showAboutPanel();
}

void PanelPresenter::updateAvailable() {
    if (view_ != nullptr) {
        view_->dismiss();
    }
    app_.application().activate();
    if (auto* updater = app_.updater(); updater != nullptr && updater->controller() != nullptr) {
        updater->controller()->checkForUpdates();
    }
}

void PanelPresenter::quit() {
    app_.application().terminate();
}

}  // namespace lidora
