#include "shell/AppDelegate.h"

#include "effects/KeepsLogoDark.h"
#include "light/InstallLocation.h"
#include "runtime/Sleep.h"
#include "runtime/Spawn.h"
#include "shell/EffectiveShowMode.h"

namespace lidora {

namespace {

constexpr std::string_view kAboutCreditsClassic =
    "Six bright stripes return\nmy Mac hums through each long task\nold love, ever new";
constexpr std::string_view kAboutCredits =
    "Glowing apple wakes\none machine holds all my days\nI build, dream, and play";

Task<void> refreshController(LightController& controller) {
    co_await controller.refresh();
}

Task<void> startController(LightController& controller) {
    co_await controller.start();
}

}  // namespace

AppDelegate::AppDelegate(AppParts parts)
    : parts_(std::move(parts)),
      standard_(parts_.defaults.standard()),
      group_(suiteOrStandard(parts_.defaults, kAppGroupSuite)),
      hotKeys_(parts_.hotKeyEvents) {}

AppDelegate::~AppDelegate() {
    *alive_ = false;
}

LightController& AppDelegate::controller() {
    if (!controller_) {
        auto onLightChanged = [&controls = parts_.controls] {
            controls.reloadControls(kLogoLightControlKind);
            controls.reloadControls(kLogoBrightnessControlKind);
        };
        controller_ = std::make_unique<LightController>(classifyModel(parts_.modelIdentifier), parts_.modelIdentifier,
                                                        installProblemFor(parts_.environment.bundlePath()),
                                                        parts_.light, parts_.registration, std::move(onLightChanged),
                                                        Logger(parts_.logSink, std::string(kLogSubsystem), "app"),
                                                        parts_.loop, parts_.environment);
    }
    return *controller_;
}

void AppDelegate::applicationDidFinishLaunching() {
    if (launched_) {
        return;
    }
    launched_ = true;
    auto& loop = parts_.loop;

    spawn(loop, startController(controller()));

    wakeObserver_ = parts_.workspace.observeDidWake([this, alive = std::weak_ptr<bool>(alive_)] {
        if (!alive.expired()) {
            spawn(parts_.loop, refreshAfterWake());
        }
    });
    reopenObserver_ = parts_.workspace.observeReopen([this, alive = std::weak_ptr<bool>(alive_)] {
        if (!alive.expired()) {
            applicationShouldHandleReopen();
        }
    });

    // Brightness upkeep.
    LogoBrightnessController::migrateLevel(*standard_, *group_);
    brightnessChangeToken_ =
        parts_.notifications.observe(kBrightnessChangedNotification, [this, alive = std::weak_ptr<bool>(alive_)] {
            if (!alive.expired()) {
                applyBrightness();
                parts_.controls.reloadControls(kLogoBrightnessControlKind);
            }
        });
    applyBrightness();
    brightnessTimer_ = loop.scheduleRepeating(kBrightnessUpkeepInterval, [this] { applyBrightness(); });

    parts_.effects.start();

    changeToken_ = parts_.notifications.observe(kChangedNotification, [this, alive = std::weak_ptr<bool>(alive_)] {
        if (!alive.expired()) {
            spawn(parts_.loop, refreshController(controller()));
        }
    });

    easterEggHotKey_ = HotKey::create(hotKeys_, kKeyCode7, kShiftCommand, [this] { toggleClassicLogo(); });
    defaultsObserver_ = parts_.defaults.observeChanges([this, alive = std::weak_ptr<bool>(alive_)] {
        // Changes may be made on any thread and in the middle of our own
        // writes; handle them afterwards on the loop.
        parts_.loop.post([this, alive] {
            if (!alive.expired()) {
                applyPreferences();
                publishKeepsLogoDark();
            }
        });
    });
    publishKeepsLogoDark();
    applyPreferences();
    // The light's phase is what applyPreferences() follows besides
    // preferences; every change of it evaluates again, and decides whether
    // to look out for the approval.
    phaseTracking_ = controller().subscribePhase([this, alive = std::weak_ptr<bool>(alive_)](const Phase& phase) {
        watchForApproval(phase);
        parts_.loop.post([this, alive] {
            if (!alive.expired()) {
                applyPreferences();
            }
        });
    });

    watchForApproval(controller().phase());

    if (controller().hardware() != HardwareSupport::unsupported) {
        messageHotKey_ =
            HotKey::create(hotKeys_, kKeyCode0, kShiftCommand, [this, alive = std::weak_ptr<bool>(alive_)] {
                if (!alive.expired()) {
                    showMessageWindow();
                }
            });
    }

    updater_ = std::make_unique<Updater>(parts_.makeUpdaterController, loop,
                                         Logger(parts_.logSink, std::string(kLogSubsystem), "app"));

    // Someone who hid the icon and does not start the app at login would
    // otherwise see nothing at all.
    const auto showIcon = standard_->object(kShowMenuBarIconKey);
    const bool iconShown = !showIcon || !showIcon->isBool() || std::get<bool>(showIcon->storage());
    if (!iconShown && parts_.loginItem.status() != HelperStatus::enabled) {
        openSettings();
    }
}

void AppDelegate::applicationWillTerminate() {
    parts_.effects.stopAll();
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
    const bool classic = parts_.classicLogo.isVisible();
    parts_.application.showAboutPanel(AboutPanelOptions{std::string(classic ? kAboutCreditsClassic : kAboutCredits),
                                                        classic ? "AboutIconRainbow" : "AppIcon"});
}

Task<std::optional<std::string>> AppDelegate::sendMessage(std::string text) {
    if (auto blocked = controller().blockingMessage()) {
        co_return blocked;
    }
    if (!controller().knownLightState()) {
        co_await controller().refresh();
        if (!controller().knownLightState()) {
            co_return std::string("Couldn't read whether the logo light is on.");
        }
    }
    co_return parts_.effects.send(text);
}

void AppDelegate::applyPreferences() {
    parts_.effects.update();
    const bool enabled = standard_->boolean(kClassicLogoEnabledKey).value_or(false);
    const bool lightOn = controller().knownLightState() == LightState::on;
    const auto mode = effectiveShowMode(standard_->string(kClassicLogoShowModeKey), controller().hardware());
    bool show = false;
    if (enabled) {
        show = mode == ClassicLogo::ShowMode::always || lightOn;
    }
    if (show == overlayShown_) {
        return;
    }
    overlayShown_ = show;
    parts_.classicLogo.setShown(show);
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

// The system tells no one when the user approves the helper; rather than
// wait for the panel to be opened again, look every two seconds while
// approval is pending, so the light shows up as soon as it is allowed.
void AppDelegate::watchForApproval(const Phase& phase) {
    if (!phase.isNeedsApproval()) {
        approvalPoll_.cancel();
        return;
    }
    if (approvalPoll_.holdsRegistration()) {
        return;
    }
    approvalPoll_ = parts_.loop.scheduleRepeating(kApprovalPollInterval, [this] {
        if (parts_.registration.status() == HelperStatus::enabled) {
            approvalPoll_.cancel();
            spawn(parts_.loop, refreshController(controller()));
        }
    });
}

Task<void> AppDelegate::refreshAfterWake() {
    auto& controller = this->controller();
    auto& loop = parts_.loop;
    auto& brightness = parts_.brightness;
    co_await controller.refresh();
    co_await sleepFor(loop, kAfterWakeDelay);
    brightness.apply(false);
}

}  // namespace lidora
