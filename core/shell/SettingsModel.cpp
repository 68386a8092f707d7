#include "core/shell/SettingsModel.h"

#include <algorithm>
#include <cstdio>

#include "core/effects/KeepsLogoDark.h"
#include "core/shell/AppDelegate.h"
#include "core/shell/SettingsTexts.h"

namespace lidora {

namespace {

namespace texts = SettingsTexts;

bool readBool(const UserDefaults& standard, std::string_view key, bool fallback) {
    return standard.boolean(key).value_or(fallback);
}

std::string infoText(const PreferenceDictionary& info, std::string_view key) {
    const auto found = info.find(key);
    const std::string* text = found == info.end() ? nullptr : found->second.asString();
    return text == nullptr ? std::string("?") : *text;
}

}  // namespace

std::string_view settingsTabRawValue(SettingsTab tab) {
    switch (tab) {
        case SettingsTab::general: return "general";
        case SettingsTab::onAir: return "onAir";
        case SettingsTab::breathing: return "breathing";
        case SettingsTab::morseCode: return "morseCode";
        case SettingsTab::classicLogo: return "classicLogo";
    }
    return "general";
}

std::optional<SettingsTab> settingsTabFromRaw(std::string_view raw) {
    for (const auto tab : kSettingsTabs) {
        if (settingsTabRawValue(tab) == raw) {
            return tab;
        }
    }
    return std::nullopt;
}

std::string_view settingsTabTitle(SettingsTab tab) {
    switch (tab) {
        case SettingsTab::general: return "General";
        case SettingsTab::onAir: return "On Air";
        case SettingsTab::breathing: return "Breathing";
        case SettingsTab::morseCode: return "Morse Code";
        case SettingsTab::classicLogo: return "Classic Logo";
    }
    return "General";
}

std::string_view onAirSourceRawValue(OnAirSource source) {
    return source == OnAirSource::camera ? "camera" : "cameraOrMicrophone";
}

SettingsPreferences readSettingsPreferences(const UserDefaults& standard) {
    SettingsPreferences read;
    read.showMenuBarIcon = readBool(standard, kShowMenuBarIconKey, true);
    read.colorMenuBarIcon = readBool(standard, kColorMenuBarIconKey, true);
    read.classicLogoUnlocked = readBool(standard, kClassicLogoUnlockedKey, false);
    read.classicLogoEnabled = readBool(standard, kClassicLogoEnabledKey, false);
    read.classicLogoShowMode = EasterEgg::storedShowMode(standard);
    read.breatheWhenLocked = readBool(standard, kBreatheKey, true);
    read.onAirEnabled = readBool(standard, kOnAirEnabledKey, true);
    // As the effects read it, so the window shows what is in force.
    read.onAirSource = standard.string(kOnAirSourceKey) == std::optional<std::string>("camera")
                           ? OnAirSource::camera
                           : OnAirSource::cameraOrMicrophone;
    read.onAirDarkOtherwise = readBool(standard, kOnAirDarkOtherwiseKey, false);
    read.morseSpeed = MessageSettings::speed(standard);
    read.morseMarkers = MessageSettings::markers(standard);
    if (const auto raw = standard.string(kSettingsTabKey)) {
        read.tab = settingsTabFromRaw(*raw);
    }
    return read;
}

std::vector<SettingsTab> settingsTabs(HardwareSupport hardware, bool classicLogoUnlocked) {
    std::vector<SettingsTab> tabs{SettingsTab::general};
    if (hardware != HardwareSupport::unsupported) {
        tabs.insert(tabs.end(), {SettingsTab::onAir, SettingsTab::breathing, SettingsTab::morseCode});
    }
    if (classicLogoUnlocked) {
        tabs.push_back(SettingsTab::classicLogo);
    }
    return tabs;
}

SettingsTab visibleSettingsTab(std::optional<SettingsTab> stored, HardwareSupport hardware, bool classicLogoUnlocked) {
    if (!stored) {
        return SettingsTab::general;
    }
    const auto present = settingsTabs(hardware, classicLogoUnlocked);
    return std::find(present.begin(), present.end(), *stored) != present.end() ? *stored : SettingsTab::general;
}

std::optional<std::string> settingsStatusMessage(HardwareSupport hardware, const Phase& phase) {
    if (hardware == HardwareSupport::unsupported) {
        return std::string(texts::kUnsupported);
    }
    if (const auto* failed = phase.asFailed()) {
        return failed->message;
    }
    if (phase.isNeedsApproval()) {
        return std::string(texts::kNeedsApproval);
    }
    return std::nullopt;
}

std::vector<EasterEgg::ShowMode> availableShowModes(HardwareSupport hardware) {
    if (hardware == HardwareSupport::unsupported) {
        return {EasterEgg::ShowMode::always};
    }
    return {EasterEgg::ShowMode::withLight, EasterEgg::ShowMode::always};
}

SettingsState settingsState(const SettingsInputs& in) {
    const auto& prefs = in.preferences;
    SettingsState state;
    state.tabs = settingsTabs(in.hardware, prefs.classicLogoUnlocked);
    state.visibleTab = visibleSettingsTab(prefs.tab, in.hardware, prefs.classicLogoUnlocked);

    state.statusMessage = settingsStatusMessage(in.hardware, in.phase);
    if (state.statusMessage && in.hardware != HardwareSupport::unsupported) {
        if (in.phase.isNeedsApproval()) {
            state.remedy = StatusRemedy::openSystemSettings;
        } else if (!in.hasInstallProblem && in.serviceStatus == HelperStatus::enabled) {
            state.remedy = StatusRemedy::reinstallHelper;
        }
    }
    state.launchAtLogin = in.launchAtLogin;
    state.showMenuBarIcon = prefs.showMenuBarIcon;
    state.colorMenuBarIcon = prefs.colorMenuBarIcon;
    state.iconPickerEnabled = prefs.showMenuBarIcon;
    state.showReopenHint = !prefs.showMenuBarIcon;
    state.automaticallyChecksForUpdates = in.automaticallyChecksForUpdates;
    state.checkForUpdatesEnabled = in.canCheckForUpdates;
    state.versionLine = std::string(texts::kVersionPrefix) + in.versionText;
    state.troubleshootingText = std::string(in.copiedDiagnostics ? texts::kDiagnosticsCopied : texts::kDiagnosticsHint);

    state.onAirEnabled = prefs.onAirEnabled;
    state.onAirSource = prefs.onAirSource;
    state.onAirOptionsEnabled = prefs.onAirEnabled;
    state.onAirText = std::string(prefs.onAirSource == OnAirSource::camera ? texts::kOnAirCameraText
                                                                           : texts::kOnAirCameraOrMicrophoneText);
    state.onAirDarkOtherwise = prefs.onAirDarkOtherwise;

    state.breatheWhenLocked = prefs.breatheWhenLocked;
    state.morseSpeed = prefs.morseSpeed;
    state.morseMarkers = prefs.morseMarkers;

    state.classicLogoEnabled = prefs.classicLogoEnabled;
    state.showModes = availableShowModes(in.hardware);
    state.showMode = EasterEgg::effectiveShowMode(prefs.classicLogoShowMode, in.hardware);
    state.showModeEnabled = prefs.classicLogoEnabled;
    state.classicLogoText = std::string(state.showMode == EasterEgg::ShowMode::always ? texts::kClassicAlwaysText
                                                                                      : texts::kClassicWithLightText);
    return state;
}

std::string settingsVersionText(const PreferenceDictionary& info) {
    return infoText(info, "CFBundleShortVersionString") + " (" + infoText(info, "CFBundleVersion") + ")";
}

std::string diagnosticsText(const std::string& controllerDiagnostics, std::optional<double> level) {
    std::string brightness(texts::kBrightnessUnavailable);
    if (level) {
        std::array<char, 32> formatted{};
        std::snprintf(formatted.data(), formatted.size(), "%.2f", *level);
        brightness = formatted.data();
    }
    return controllerDiagnostics + std::string(texts::kLogoBrightnessLine) + brightness;
}

}  // namespace lidora
