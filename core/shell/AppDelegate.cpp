#include "core/shell/AppDelegate.h"

#include "core/effects/KeepsLogoDark.h"
#include "core/effects/LogoEffectsWatcher.h"
#include "core/light/InstallLocation.h"
#include "core/overlay/EasterEgg.h"
#include "core/runtime/Sleep.h"
#include "core/runtime/Spawn.h"

namespace lidora {

namespace {

constexpr std::string_view kAboutCreditsClassic =
    "Six bright stripes return\nmy Mac hums through each long task\nold love, ever new";
constexpr std::string_view kAboutCredits =
    "Glowing apple wakes\none machine holds all my days\nI build, dream, and play";

// Each task holds the controller until it is done, whatever becomes of the
// delegate meanwhile.
Task<void> startLight(std::shared_ptr<LightController> controller) {
    co_await controller->start();
}

Task<void> switchLight(std::shared_ptr<LightController> controller, LightState target) {
    co_await controller->setLight(target);
}

Task<void> readLight(std::shared_ptr<LightController> controller) {
    co_await controller->refresh();
}

Task<void> refreshThenApplyBrightness(std::shared_ptr<LightController> controller, RunLoop& loop,
                                      LogoBrightnessController& brightness) {
    co_await controller->refresh();
    co_await sleepFor(loop, kAfterWakeDelay);
    brightness.apply(false);
}

}  // namespace

AppDelegate::AppDelegate(AppParts parts)
    : parts_(std::move(parts)),
      standard_(parts_.defaults.standard()),
      group_(suiteOrStandard(parts_.defaults, kAppGroupSuite)),
      hotKeys_(parts_.hotKeyEvents),
      approval_(parts_.loop, parts_.registration, [this] { refreshLight(); }),
      posts_(parts_.loop),
      fullScreenWatcher_(RevealWatcherParts{.loop = parts_.loop,
                                            .overlay = parts_.overlay,
                                            .workspace = parts_.workspace,
                                            .events = parts_.events,
                                            .defaults = parts_.defaults,
                                            .logSink = parts_.logSink}) {}

LightController& AppDelegate::controller() {
    if (!controller_) {
        auto onLightChanged = [&controls = parts_.controls] {
            controls.reloadControls(kLogoLightControlKind);
            controls.reloadControls(kLogoBrightnessControlKind);
        };
        controller_ = std::make_shared<LightController>(classifyModel(parts_.modelIdentifier), parts_.modelIdentifier,
                                                        installProblemFor(parts_.environment.bundlePath()),
                                                        parts_.light, parts_.registration, std::move(onLightChanged),
                                                        Logger(parts_.logSink, std::string(kLogSubsystem), "app"),
                                                        parts_.loop, parts_.environment);
    }
    return *controller_;
}

PanelParts AppDelegate::panelParts() {
    controller();
    return PanelParts{.loop = parts_.loop,
                      .controller = controller_,
                      .registration = parts_.registration,
                      .defaults = parts_.defaults,
                      .brightness = parts_.brightness,
                      .controls = parts_.controls,
                      .application = parts_.application,
                      .updater = updater_.get(),
                      .actions = *this};
}

void AppDelegate::applicationDidFinishLaunching() {
    if (launched_) {
        return;
    }
    launched_ = true;
    startController();
    followWorkspace();
    keepBrightness();
    startEffects();
    followChangedNotice();
    followPreferencesAndPhase();
    registerMessageKey();
    startUpdater();
    rescueHiddenIcon();
}

// Handles below cancel their callbacks when the delegate goes, so the
// callbacks use it freely.

void AppDelegate::startController() {
    controller();
    spawn(parts_.loop, startLight(controller_));
}

void AppDelegate::followWorkspace() {
    wakeObserver_ = parts_.workspace.observeDidWake(
        [this] { spawn(parts_.loop, refreshThenApplyBrightness(controller_, parts_.loop, parts_.brightness)); });
    reopenObserver_ = parts_.workspace.observeReopen([this] { applicationShouldHandleReopen(); });
}

void AppDelegate::keepBrightness() {
    LogoBrightnessController::migrateLevel(*standard_, *group_);
    brightnessChangeToken_ = parts_.notifications.observe(kBrightnessChangedNotification, [this] {
        applyBrightness();
        parts_.controls.reloadControls(kLogoBrightnessControlKind);
    });
    applyBrightness();
    brightnessTimer_ = parts_.loop.scheduleRepeating(kBrightnessUpkeepInterval, [this] { applyBrightness(); });
}

LogoEffects& AppDelegate::effects() {
    if (!effects_) {
        // The delegate outlives the effects it owns, so they may use it freely.
        effects_ = parts_.makeEffects(
            LogoEffectsLight{.isOn = [this] { return controller().knownLightState() == LightState::on; },
                             .set =
                                 [this](bool on) {
                                     controller();
                                     return switchLight(controller_, on ? LightState::on : LightState::off);
                                 }});
    }
    return *effects_;
}

void AppDelegate::startEffects() {
    effects().start();
}

void AppDelegate::followChangedNotice() {
    changeToken_ = parts_.notifications.observe(kChangedNotification, [this] { refreshLight(); });
}

void AppDelegate::followPreferencesAndPhase() {
    easterEggHotKey_ = HotKey::create(hotKeys_, kKeyCode7, kShiftCommand, [this] { toggleClassicLogo(); });
    defaultsObserver_ = parts_.defaults.observeChanges([this] {
        // Changes may be made on any thread and in the middle of our own
        // writes; handle them afterwards on the loop.
        posts_.post([this] {
            applyPreferences();
            publishKeepsLogoDark();
        });
    });
    publishKeepsLogoDark();
    applyPreferences();
    // The light's phase is what applyPreferences() follows besides
    // preferences; every change of it evaluates again, and decides whether
    // to look out for the approval.
    phaseTracking_ = controller().subscribePhase([this](const Phase& phase) {
        approval_.follow(phase);
        applyPreferencesSoon();
    });
    approval_.follow(controller().phase());
}

void AppDelegate::registerMessageKey() {
    if (controller().hardware() != HardwareSupport::unsupported) {
        messageHotKey_ = HotKey::create(hotKeys_, kKeyCode0, kShiftCommand, [this] { showMessageWindow(); });
    }
}

void AppDelegate::startUpdater() {
    updater_ = std::make_unique<Updater>(parts_.makeUpdaterController, parts_.loop,
                                         Logger(parts_.logSink, std::string(kLogSubsystem), "app"));
}

// Someone who hid the icon and does not start the app at login would
// otherwise see nothing at all.
void AppDelegate::rescueHiddenIcon() {
    const auto showIcon = standard_->object(kShowMenuBarIconKey);
    const bool iconShown = !showIcon || !showIcon->isBool() || std::get<bool>(showIcon->storage());
    if (!iconShown && parts_.loginItem.status() != HelperStatus::enabled) {
        openSettings();
    }
}

void AppDelegate::applicationWillTerminate() {
    effects().stopAll();
}

bool AppDelegate::applicationShouldHandleReopen() {
    openSettings();
    return true;
}

void AppDelegate::openSettings() {
    parts_.settingsWindow.show();
    parts_.application.activate();
}

void AppDelegate::showMessageWindow() {
    parts_.messageWindow.show();
}

void AppDelegate::showAboutPanel() {
    const bool classic = parts_.overlay.style().has_value();
    parts_.application.showAboutPanel(AboutPanelOptions{std::string(classic ? kAboutCreditsClassic : kAboutCredits),
                                                        classic ? "AboutIconRainbow" : "AppIcon"});
}

Task<std::optional<std::string>> AppDelegate::sendMessage(std::string text, MorseCode::Timing timing, bool markers) {
    if (auto blocked = controller().blockingMessage()) {
        co_return blocked;
    }
    if (!controller().knownLightState()) {
        co_await controller().refresh();
        if (!controller().knownLightState()) {
            co_return std::string("Couldn't read whether the logo light is on.");
        }
    }
    // Awaited on a line of its own: g++ 12 can skip a task awaited inside a condition.
    const bool sent = co_await effects().send(std::move(text), timing, markers);
    if (sent) {
        co_return std::nullopt;
    }
    auto problem = effects().messageState().problem.get();
    if (!problem || problem->empty()) {
        problem = std::string(kCouldNotSendProblem);
    }
    co_return problem;
}

void AppDelegate::applyPreferences() {
    effects().update();
    const bool enabled = standard_->boolean(kClassicLogoEnabledKey).value_or(false);
    const bool lightOn = controller().knownLightState() == LightState::on;
    const auto mode = EasterEgg::effectiveShowMode(EasterEgg::storedShowMode(*standard_), controller().hardware());
    const bool show = enabled && (mode == EasterEgg::ShowMode::always || lightOn);
    if (show == overlayShown_) {
        return;
    }
    overlayShown_ = show;
    parts_.overlay.setStyle(show ? std::optional<Style>(Style::rainbow()) : std::nullopt);
    parts_.overlay.update();
    if (show) {
        fullScreenWatcher_.start();
    } else {
        fullScreenWatcher_.stop();
    }
}

// After the change that asked for it has been told to everyone else.
void AppDelegate::applyPreferencesSoon() {
    preferencesPending_ = parts_.loop.scheduleAfter(Duration::zero(), [this] {
        preferencesPending_.detach();
        applyPreferences();
    });
}

void AppDelegate::publishKeepsLogoDark() {
    lidora::publishKeepsLogoDark(*standard_, *group_, parts_.controls);
}

void AppDelegate::applyBrightness() {
    parts_.brightness.apply(false);
}

void AppDelegate::toggleClassicLogo() {
    (void)standard_->set(kClassicLogoUnlockedKey, PreferenceValue(true));
    const bool enabled = standard_->boolean(kClassicLogoEnabledKey).value_or(false);
    (void)standard_->set(kClassicLogoEnabledKey, PreferenceValue(!enabled));
}

void AppDelegate::refreshLight() {
    spawn(parts_.loop, readLight(controller_));
}

}  // namespace lidora
