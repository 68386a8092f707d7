#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/effects/LogoEffectsWatcher.h"
#include "core/light/HardwareSupport.h"
#include "core/light/HelperRegistering.h"
#include "core/light/Phase.h"
#include "core/message/MessageSettings.h"
#include "core/overlay/EasterEgg.h"
#include "core/ports/UserDefaults.h"

namespace lidora {

inline constexpr std::string_view kSettingsTabKey = "settingsTab";
inline constexpr std::string_view kBreatheKey = kBreatheWhenLockedAndChargingKey;
inline constexpr int kSettingsWindowWidth = 520;

// The settings window's tabs, in order; stored by case name.
enum class SettingsTab { general, onAir, breathing, morseCode, classicLogo };
inline constexpr std::array<SettingsTab, 5> kSettingsTabs = {
    SettingsTab::general, SettingsTab::onAir, SettingsTab::breathing, SettingsTab::morseCode, SettingsTab::classicLogo};

std::string_view settingsTabRawValue(SettingsTab tab);
// Exact and case-sensitive; anything else is no tab.
std::optional<SettingsTab> settingsTabFromRaw(std::string_view raw);
// "General", "On Air", "Breathing", "Morse Code", "Classic Logo".
std::string_view settingsTabTitle(SettingsTab tab);

std::string_view onAirSourceRawValue(OnAirSource source);

// The preferences the window edits, as stored in the standard defaults. A
// missing value, one of another type or a text that is no case name reads
// as the default; what is stored is left as it is.
struct SettingsPreferences {
    bool showMenuBarIcon = true;
    bool colorMenuBarIcon = true;
    bool classicLogoUnlocked = false;
    bool classicLogoEnabled = false;
    EasterEgg::ShowMode classicLogoShowMode = EasterEgg::ShowMode::withLight;
    bool breatheWhenLocked = true;
    bool onAirEnabled = true;
    OnAirSource onAirSource = OnAirSource::cameraOrMicrophone;
    bool onAirDarkOtherwise = false;
    MessageSettings::Speed morseSpeed = MessageSettings::Speed::normal;
    bool morseMarkers = true;
    // Only a stored case name; the window falls back to General itself.
    std::optional<SettingsTab> tab;
    friend bool operator==(const SettingsPreferences&, const SettingsPreferences&) = default;
};

SettingsPreferences readSettingsPreferences(const UserDefaults& standard);

// Everything the window shows is made of these.
struct SettingsInputs {
    Phase phase;
    HardwareSupport hardware = HardwareSupport::unknown;
    HelperStatus serviceStatus = HelperStatus::notRegistered;
    bool hasInstallProblem = false;
    SettingsPreferences preferences;
    bool launchAtLogin = false;
    bool copiedDiagnostics = false;
    bool automaticallyChecksForUpdates = false;
    bool canCheckForUpdates = false;
    std::string versionText;
};

enum class StatusRemedy { none, openSystemSettings, reinstallHelper };

struct SettingsState {
    std::vector<SettingsTab> tabs;
    SettingsTab visibleTab = SettingsTab::general;

    // General: the Status section shows only with a message.
    std::optional<std::string> statusMessage;
    StatusRemedy remedy = StatusRemedy::none;
    bool launchAtLogin = false;
    bool showMenuBarIcon = true;
    bool colorMenuBarIcon = true;
    bool iconPickerEnabled = true;
    bool showReopenHint = false;
    bool automaticallyChecksForUpdates = false;
    bool checkForUpdatesEnabled = false;
    std::string versionLine;
    std::string troubleshootingText;

    // On Air
    bool onAirEnabled = true;
    OnAirSource onAirSource = OnAirSource::cameraOrMicrophone;
    bool onAirOptionsEnabled = true;
    std::string onAirText;
    bool onAirDarkOtherwise = false;

    bool breatheWhenLocked = true;

    MessageSettings::Speed morseSpeed = MessageSettings::Speed::normal;
    bool morseMarkers = true;

    // Classic Logo
    bool classicLogoEnabled = false;
    std::vector<EasterEgg::ShowMode> showModes;
    EasterEgg::ShowMode showMode = EasterEgg::ShowMode::withLight;
    bool showModeEnabled = false;
    std::string classicLogoText;

    friend bool operator==(const SettingsState&, const SettingsState&) = default;
};

// The tabs present: General always; On Air, Breathing and Morse Code unless
// the hardware is unsupported; Classic Logo once it is unlocked.
std::vector<SettingsTab> settingsTabs(HardwareSupport hardware, bool classicLogoUnlocked);
// The stored tab when it is present, else General.
SettingsTab visibleSettingsTab(std::optional<SettingsTab> stored, HardwareSupport hardware, bool classicLogoUnlocked);
std::optional<std::string> settingsStatusMessage(HardwareSupport hardware, const Phase& phase);
std::vector<EasterEgg::ShowMode> availableShowModes(HardwareSupport hardware);

SettingsState settingsState(const SettingsInputs& inputs);

// "2.1 (37)" from the bundle's information; "?" for a missing or non-text value.
std::string settingsVersionText(const PreferenceDictionary& info);
// The controller's diagnostics and the logo brightness: the level with two
// decimals, or "unavailable" without a readable curve.
std::string diagnosticsText(const std::string& controllerDiagnostics, std::optional<double> level);

}  // namespace lidora
