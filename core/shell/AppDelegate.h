#pragma once

#include <memory>
#include <optional>
#include <string>

#include "core/brightness/LogoBrightnessController.h"
#include "core/effects/LogoEffects.h"
#include "core/light/HelperRegistering.h"
#include "core/light/LightController.h"
#include "core/light/LightNotifications.h"
#include "core/light/LightService.h"
#include "core/overlay/EasterEgg.h"
#include "core/overlay/FullScreenRevealWatcher.h"
#include "core/ports/ApplicationShell.h"
#include "core/ports/ControlCenter.h"
#include "core/ports/DarwinNotifications.h"
#include "core/ports/HotKeyEvents.h"
#include "core/ports/LoginItem.h"
#include "core/ports/RunLoop.h"
#include "core/ports/SparkleUpdater.h"
#include "core/ports/SystemInfo.h"
#include "core/ports/UserDefaults.h"
#include "core/ports/Workspace.h"
#include "core/runtime/Logger.h"
#include "core/runtime/OwnedPosts.h"
#include "core/shell/ApprovalWatch.h"
#include "core/shell/HotKey.h"
#include "core/shell/PanelPresenter.h"
#include "core/shell/Updater.h"
#include "core/shortcuts/ShortcutsDelegate.h"

namespace lidora {

inline constexpr std::string_view kShowMenuBarIconKey = "showMenuBarIcon";
inline constexpr std::string_view kColorMenuBarIconKey = "colorMenuBarIcon";
inline constexpr std::string_view kClassicLogoEnabledKey = "classicLogoEnabled";
inline constexpr std::string_view kClassicLogoUnlockedKey = "classicLogoUnlocked";

inline constexpr Duration kBrightnessUpkeepInterval = std::chrono::seconds(60);
inline constexpr Duration kAfterWakeDelay = std::chrono::seconds(2);
inline constexpr Duration kHelperCallTimeout = std::chrono::seconds(5);

// Everything the app's delegate is built over: the system's services, the
// shared instances and the parts other work will fill.
struct AppParts {
    RunLoop& loop;
    std::shared_ptr<LogSink> logSink;
    UserDefaultsProvider& defaults;
    LightService& light;
    HelperRegistering& registration;
    std::string modelIdentifier;
    // Where the app runs from, as the system sees it, among other things.
    ProcessEnvironment& environment;
    LogoBrightnessController& brightness;
    ControlCenter& controls;
    DarwinNotificationCenter& notifications;
    Workspace& workspace;
    HotKeyEventManager& hotKeyEvents;
    MainAppLoginItem& loginItem;
    ApplicationShell& application;
    WindowHolder& settingsWindow;
    WindowHolder& messageWindow;
    // Builds the effects once, on first use, over the delegate's light.
    LogoEffectsFactory makeEffects;
    // The classic logo's overlay, and the pointer's monitors its watcher uses.
    AppleLogoOverlay& overlay;
    EventMonitors& events;
    StandardUpdaterControllerFactory makeUpdaterController;
};

// The app's composition root: owns the long-lived objects, starts them in
// order at launch and keeps them in step with preferences, wake, other
// processes and the light. Use on the run loop; it lives as long as the app.
class AppDelegate final : public PanelActions, public ShortcutsDelegate {
public:
    explicit AppDelegate(AppParts parts);
    AppDelegate(const AppDelegate&) = delete;
    AppDelegate& operator=(const AppDelegate&) = delete;

    void applicationDidFinishLaunching();
    void applicationWillTerminate();
    // The user opened the running app again.
    bool applicationShouldHandleReopen();

    LightController& controller();
    [[nodiscard]] RunLoop& loop() { return parts_.loop; }
    [[nodiscard]] UserDefaultsProvider& defaultsProvider() { return parts_.defaults; }
    [[nodiscard]] UserDefaults& standardDefaults() { return *standard_; }
    [[nodiscard]] Updater* updater() { return updater_.get(); }
    // What the menu-bar panel works with; complete once launched.
    [[nodiscard]] PanelParts panelParts();

    void openSettings() override;
    void showMessageWindow() override;
    void showAboutPanel() override;
    // For Shortcuts: the problem text, or none on success.
    Task<std::optional<std::string>> sendMessage(std::string text, MorseCode::Timing timing, bool markers) override;
    LogoEffects& effects();

    [[nodiscard]] bool overlayShown() const { return overlayShown_; }
    [[nodiscard]] FullScreenRevealWatcher& fullScreenWatcher() { return fullScreenWatcher_; }
    [[nodiscard]] const std::shared_ptr<HotKey>& easterEggHotKey() const { return easterEggHotKey_; }
    [[nodiscard]] const std::shared_ptr<HotKey>& messageHotKey() const { return messageHotKey_; }

private:
    // The launch, one step each, in order.
    void startController();
    void followWorkspace();
    void keepBrightness();
    void startEffects();
    void followChangedNotice();
    void followPreferencesAndPhase();
    void registerMessageKey();
    void startUpdater();
    void rescueHiddenIcon();

    void applyPreferences();
    void applyPreferencesSoon();
    void publishKeepsLogoDark();
    void applyBrightness();
    void toggleClassicLogo();
    void refreshLight();

    AppParts parts_;
    std::shared_ptr<UserDefaults> standard_;
    std::shared_ptr<UserDefaults> group_;
    // Shared with the tasks that use it, so one in flight keeps it.
    std::shared_ptr<LightController> controller_;
    HotKeyCenter hotKeys_;
    std::shared_ptr<HotKey> easterEggHotKey_;
    std::shared_ptr<HotKey> messageHotKey_;
    std::unique_ptr<Updater> updater_;
    std::unique_ptr<LogoEffects> effects_;
    ApprovalWatch approval_;
    // Preference changes come on any thread.
    OwnedPosts posts_;
    Cancellable wakeObserver_;
    Cancellable reopenObserver_;
    Cancellable changeToken_;
    Cancellable brightnessChangeToken_;
    Cancellable defaultsObserver_;
    Cancellable brightnessTimer_;
    Cancellable preferencesPending_;
    Subscription phaseTracking_;
    bool overlayShown_ = false;
    FullScreenRevealWatcher fullScreenWatcher_;
    bool launched_ = false;
};

}  // namespace lidora
