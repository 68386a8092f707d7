#include "core/shell/SettingsPresenter.h"

#include "core/brightness/BrightnessTables.h"
#include "core/effects/KeepsLogoDark.h"
#include "core/runtime/Spawn.h"
#include "core/shell/AppDelegate.h"
#include "core/shell/UninstallFlow.h"

namespace lidora {

namespace {

// Each task holds the controller until it is done.
Task<void> refresh(std::shared_ptr<LightController> controller) {
    co_await controller->refresh();
}

Task<void> reinstall(std::shared_ptr<LightController> controller) {
    co_await controller->reinstallHelper();
}

Task<void> approve(std::shared_ptr<LightController> controller) {
    co_await controller->approveHelper();
}

// A cancelled flow may be started again; the window redraws if it is still there.
Task<void> uninstallOnce(UninstallParts parts, std::shared_ptr<bool> uninstalling, SettingsPresenter* presenter,
                         std::weak_ptr<int> alive) {
    // Awaited on a line of its own: g++ 12 skipped this task when awaited in the condition.
    const bool wentAhead = co_await uninstall(std::move(parts));
    if (!wentAhead) {
        *uninstalling = false;
        if (!alive.expired()) {
            presenter->update();
        }
    }
}

}  // namespace

SettingsPresenter::SettingsPresenter(SettingsParts parts)
    : parts_(std::move(parts)),
      standard_(parts_.defaults.standard()),
      log_(parts_.logSink, std::string(kLogSubsystem), "app"),
      versionText_(settingsVersionText(parts_.environment.bundleInfo())),
      launchAtLogin_(parts_.loginItem.status() == HelperStatus::enabled),
      posts_(parts_.loop) {
    auto redraw = [this] { posts_.post([this] { update(); }); };
    phase_ = parts_.controller->subscribePhase([redraw](const Phase&) { redraw(); });
    defaults_ = parts_.defaults.observeChanges(redraw);
    if (parts_.updater != nullptr) {
        canCheck_ = parts_.updater->subscribeCanCheckForUpdates([redraw](bool) { redraw(); });
    }
}

void SettingsPresenter::attach(SettingsDisplay* display) {
    display_ = display;
    update();
}

void SettingsPresenter::appeared() {
    launchAtLogin_ = parts_.loginItem.status() == HelperStatus::enabled;
    update();
    spawn(parts_.loop, refresh(parts_.controller));
}

SettingsState SettingsPresenter::state() const {
    const auto& controller = *parts_.controller;
    SettingsInputs inputs;
    inputs.phase = controller.phase();
    inputs.hardware = controller.hardware();
    inputs.serviceStatus = parts_.registration.status();
    inputs.hasInstallProblem = controller.installProblem().has_value();
    inputs.preferences = readSettingsPreferences(*standard_);
    inputs.launchAtLogin = launchAtLogin_;
    inputs.copiedDiagnostics = copiedDiagnostics_;
    if (parts_.updater != nullptr) {
        inputs.automaticallyChecksForUpdates = parts_.updater->automaticallyChecksForUpdates();
        inputs.canCheckForUpdates = parts_.updater->canCheckForUpdates();
    }
    inputs.versionText = versionText_;
    return settingsState(inputs);
}

void SettingsPresenter::update() {
    if (display_ != nullptr) {
        display_->render(state());
    }
}

// A write that fails leaves the stored value, which the redraw shows again.
void SettingsPresenter::store(std::string_view key, PreferenceValue value) {
    if (auto written = standard_->set(key, std::move(value)); !written) {
        log_.error("Couldn't save the setting %{public}s: %{public}s", std::string(key), written.error());
    }
    update();
}

void SettingsPresenter::tabChosen(SettingsTab tab) {
    store(kSettingsTabKey, PreferenceValue(std::string(settingsTabRawValue(tab))));
}

void SettingsPresenter::showMenuBarIconChosen(bool show) {
    store(kShowMenuBarIconKey, PreferenceValue(show));
}

void SettingsPresenter::colorMenuBarIconChosen(bool color) {
    store(kColorMenuBarIconKey, PreferenceValue(color));
}

void SettingsPresenter::onAirEnabledChosen(bool enabled) {
    store(kOnAirEnabledKey, PreferenceValue(enabled));
}

void SettingsPresenter::onAirSourceChosen(OnAirSource source) {
    store(kOnAirSourceKey, PreferenceValue(std::string(onAirSourceRawValue(source))));
}

void SettingsPresenter::onAirDarkOtherwiseChosen(bool dark) {
    store(kOnAirDarkOtherwiseKey, PreferenceValue(dark));
}

void SettingsPresenter::breatheChosen(bool breathe) {
    store(kBreatheKey, PreferenceValue(breathe));
}

void SettingsPresenter::morseSpeedChosen(MessageSettings::Speed speed) {
    store(MessageSettings::kSpeedKey, PreferenceValue(std::string(MessageSettings::rawValue(speed))));
}

void SettingsPresenter::morseMarkersChosen(bool markers) {
    store(MessageSettings::kMarkersKey, PreferenceValue(markers));
}

void SettingsPresenter::classicLogoEnabledChosen(bool enabled) {
    store(kClassicLogoEnabledKey, PreferenceValue(enabled));
}

void SettingsPresenter::showModeChosen(EasterEgg::ShowMode mode) {
    store(kClassicLogoShowModeKey, PreferenceValue(std::string(EasterEgg::name(mode))));
}

void SettingsPresenter::launchAtLoginChosen(bool launch) {
    const auto changed = launch ? parts_.loginItem.registerItem() : parts_.loginItem.unregisterItem();
    if (!changed) {
        log_.error("Launch at login change failed: %{public}s", changed.error());
    }
    launchAtLogin_ = parts_.loginItem.status() == HelperStatus::enabled;
    update();
}

void SettingsPresenter::automaticChecksChosen(bool automatic) {
    if (parts_.updater != nullptr) {
        parts_.updater->setAutomaticallyChecksForUpdates(automatic);
    }
    update();
}

void SettingsPresenter::openSystemSettings() {
    spawn(parts_.loop, approve(parts_.controller));
}

void SettingsPresenter::reinstallHelper() {
    spawn(parts_.loop, reinstall(parts_.controller));
}

void SettingsPresenter::checkForUpdates() {
    parts_.application.activate();
    if (auto* updater = parts_.updater; updater != nullptr && updater->controller() != nullptr) {
        updater->controller()->checkForUpdates();
    }
}

void SettingsPresenter::copyDiagnostics() {
    std::optional<double> level;
    if (parts_.brightness.backend().copyProperty(kBrightnessCurveKey)) {
        level = LogoBrightnessController::storedLevel(parts_.brightness.levelStore());
    }
    parts_.pasteboard.clearContents();
    // "Copied." only when it was: a refused pasteboard keeps the hint.
    if (parts_.pasteboard.setString(diagnosticsText(parts_.controller->diagnostics(), level))) {
        copiedDiagnostics_ = true;
    } else {
        log_.error("Couldn't put the diagnostics on the pasteboard");
    }
    update();
}

void SettingsPresenter::sendMessage() {
    if (parts_.actions != nullptr) {
        parts_.actions->showMessageWindow();
    }
}

void SettingsPresenter::uninstall() {
    if (*uninstalling_) {
        return;
    }
    *uninstalling_ = true;
    spawn(parts_.loop, uninstallOnce(UninstallParts{.loop = parts_.loop,
                                                    .controller = parts_.controller,
                                                    .registration = parts_.registration,
                                                    .standard = *standard_,
                                                    .brightness = parts_.brightness,
                                                    .loginItem = parts_.loginItem,
                                                    .application = parts_.application,
                                                    .alerts = parts_.alerts,
                                                    .recycler = parts_.recycler,
                                                    .bundlePath = parts_.environment.bundlePath(),
                                                    .log = log_},
                                     uninstalling_, this, lifetime_));
}

void SettingsPresenter::quit() {
    parts_.application.terminate();
}

}  // namespace lidora
