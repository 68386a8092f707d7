#pragma once

#include <memory>
#include <string>

#include "core/brightness/LogoBrightnessController.h"
#include "core/light/HelperRegistering.h"
#include "core/light/LightController.h"
#include "core/ports/ApplicationShell.h"
#include "core/ports/FileRecycler.h"
#include "core/ports/LoginItem.h"
#include "core/ports/ModalAlert.h"
#include "core/ports/Pasteboard.h"
#include "core/ports/RunLoop.h"
#include "core/ports/SystemInfo.h"
#include "core/ports/UserDefaults.h"
#include "core/runtime/OwnedPosts.h"
#include "core/shell/PanelPresenter.h"
#include "core/shell/SettingsModel.h"
#include "core/shell/Updater.h"

namespace lidora {

// What the settings window draws; the presenter tells it.
class SettingsDisplay {
public:
    virtual ~SettingsDisplay() = default;
    virtual void render(const SettingsState& state) = 0;
};

// What the settings window reads and acts through. All of it outlives the
// presenter.
struct SettingsParts {
    RunLoop& loop;
    // Shared so that a task in flight keeps it.
    std::shared_ptr<LightController> controller;
    HelperRegistering& registration;
    UserDefaultsProvider& defaults;
    LogoBrightnessController& brightness;
    MainAppLoginItem& loginItem;
    ApplicationShell& application;
    ProcessEnvironment& environment;
    Pasteboard& pasteboard;
    FileRecycler& recycler;
    AlertRunner& alerts;
    std::shared_ptr<LogSink> logSink;
    // Absent while there is none.
    Updater* updater = nullptr;
    // The app's windows, for "Send a Message…".
    PanelActions* actions = nullptr;
};

// The settings window's logic: its tabs and what each shows, the
// preferences bound both ways, the helper's remedies, launch at login,
// diagnostics and uninstalling. Lives as long as the window, which the app
// keeps. Use on the run loop.
class SettingsPresenter {
public:
    explicit SettingsPresenter(SettingsParts parts);
    SettingsPresenter(const SettingsPresenter&) = delete;
    SettingsPresenter& operator=(const SettingsPresenter&) = delete;

    // The display shown now, or none.
    void attach(SettingsDisplay* display);
    // Each time the window is shown.
    void appeared();

    void tabChosen(SettingsTab tab);
    void showMenuBarIconChosen(bool show);
    void colorMenuBarIconChosen(bool color);
    void onAirEnabledChosen(bool enabled);
    void onAirSourceChosen(OnAirSource source);
    void onAirDarkOtherwiseChosen(bool dark);
    void breatheChosen(bool breathe);
    void morseSpeedChosen(MessageSettings::Speed speed);
    void morseMarkersChosen(bool markers);
    void classicLogoEnabledChosen(bool enabled);
    void showModeChosen(EasterEgg::ShowMode mode);
    // Registers or removes the login item; a refused change is logged and
    // the switch shows the real status again.
    void launchAtLoginChosen(bool launch);
    void automaticChecksChosen(bool automatic);

    void openSystemSettings();
    void reinstallHelper();
    void checkForUpdates();
    void copyDiagnostics();
    void sendMessage();
    // Starts the uninstall flow unless one is already under way.
    void uninstall();
    void quit();

    [[nodiscard]] SettingsState state() const;
    [[nodiscard]] bool copiedDiagnostics() const { return copiedDiagnostics_; }
    [[nodiscard]] bool isUninstalling() const { return *uninstalling_; }
    // Redraws the attached display from the current state.
    void update();

private:
    void store(std::string_view key, PreferenceValue value);

    SettingsParts parts_;
    std::shared_ptr<UserDefaults> standard_;
    Logger log_;
    std::string versionText_;
    SettingsDisplay* display_ = nullptr;
    bool launchAtLogin_ = false;
    bool copiedDiagnostics_ = false;
    // Shared with the flow, which clears it when cancelled.
    std::shared_ptr<bool> uninstalling_ = std::make_shared<bool>(false);
    // Preference changes come on any thread; redraws run on the loop.
    OwnedPosts posts_;
    Subscription phase_;
    Subscription defaults_;
    Subscription canCheck_;
    // Tells a flow still under way that the presenter is gone.
    std::shared_ptr<int> lifetime_ = std::make_shared<int>(0);
};

}  // namespace lidora
