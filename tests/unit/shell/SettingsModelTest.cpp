#include <gtest/gtest.h>

#include "core/shell/AppDelegate.h"
#include "core/shell/SettingsModel.h"
#include "core/shell/SettingsTexts.h"
#include "tests/support/MemoryDefaults.h"

namespace lidora::testing {
namespace {

namespace texts = SettingsTexts;
using Tab = SettingsTab;
using Mode = EasterEgg::ShowMode;

constexpr auto kSupported = HardwareSupport::supported;
constexpr auto kUnsupported = HardwareSupport::unsupported;

TEST(SettingsModel, TabsPresentAndTheVisibleTab) {
    struct Row {
        const char* name;
        HardwareSupport hardware;
        bool unlocked;
        std::optional<Tab> stored;
        std::vector<Tab> tabs;
        Tab visible;
    };
    const std::vector<Tab> all = {Tab::general, Tab::onAir, Tab::breathing, Tab::morseCode, Tab::classicLogo};
    const std::vector<Tab> locked = {Tab::general, Tab::onAir, Tab::breathing, Tab::morseCode};
    const Row rows[] = {
        {"nothing stored", kSupported, false, std::nullopt, locked, Tab::general},
        {"stored morse", kSupported, false, Tab::morseCode, locked, Tab::morseCode},
        {"unknown hardware keeps the logo tabs", HardwareSupport::unknown, false, Tab::onAir, locked, Tab::onAir},
        {"classic logo while locked", kSupported, false, Tab::classicLogo, locked, Tab::general},
        {"classic logo once unlocked", kSupported, true, Tab::classicLogo, all, Tab::classicLogo},
        {"on air without a lit logo", kUnsupported, false, Tab::onAir, {Tab::general}, Tab::general},
        {"breathing without a lit logo",
         kUnsupported,
         true,
         Tab::breathing,
         {Tab::general, Tab::classicLogo},
         Tab::general},
        {"classic logo without a lit logo",
         kUnsupported,
         true,
         Tab::classicLogo,
         {Tab::general, Tab::classicLogo},
         Tab::classicLogo},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        SettingsInputs in;
        in.hardware = row.hardware;
        in.preferences.classicLogoUnlocked = row.unlocked;
        in.preferences.tab = row.stored;
        const auto state = settingsState(in);
        EXPECT_EQ(state.tabs, row.tabs);
        EXPECT_EQ(state.visibleTab, row.visible);
    }
}

TEST(SettingsModel, StatusMessageAndRemedyForEveryPhase) {
    struct Row {
        const char* name;
        Phase phase;
        HardwareSupport hardware;
        HelperStatus service;
        bool installProblem;
        std::optional<std::string> message;
        StatusRemedy remedy;
    };
    const auto ok = HelperStatus::enabled;
    const std::string approval(texts::kNeedsApproval);
    const Row rows[] = {
        {"ready", Phase::ready(LightState::on), kSupported, ok, false, std::nullopt, StatusRemedy::none},
        {"loading", Phase::loading(), kSupported, ok, false, std::nullopt, StatusRemedy::none},
        {"failed", Phase::failed("M", LightState::off), kSupported, ok, false, "M", StatusRemedy::reinstallHelper},
        {"failed with an install problem", Phase::failed("M", std::nullopt), kSupported, ok, true, "M",
         StatusRemedy::none},
        {"failed, helper not enabled", Phase::failed("M", std::nullopt), kSupported, HelperStatus::notFound, false, "M",
         StatusRemedy::none},
        {"needs approval", Phase::needsApproval(), kSupported, HelperStatus::requiresApproval, false, approval,
         StatusRemedy::openSystemSettings},
        {"needs approval, not registered", Phase::needsApproval(), HardwareSupport::unknown,
         HelperStatus::notRegistered, true, approval, StatusRemedy::openSystemSettings},
        {"unsupported, whatever the phase", Phase::failed("M", std::nullopt), kUnsupported, ok, false,
         std::string(texts::kUnsupported), StatusRemedy::none},
        {"unsupported and ready", Phase::ready(LightState::off), kUnsupported, ok, false,
         std::string(texts::kUnsupported), StatusRemedy::none},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        SettingsInputs in;
        in.phase = row.phase;
        in.hardware = row.hardware;
        in.serviceStatus = row.service;
        in.hasInstallProblem = row.installProblem;
        const auto state = settingsState(in);
        EXPECT_EQ(state.statusMessage, row.message);
        EXPECT_EQ(state.remedy, row.remedy);
    }
}

TEST(SettingsModel, EnablingRulesAndTextsByChoice) {
    struct Row {
        const char* name;
        HardwareSupport hardware;
        SettingsPreferences prefs;
        bool copied;
        // Expected
        bool iconPicker;
        bool reopenHint;
        bool onAirOptions;
        std::string_view onAirText;
        std::vector<Mode> modes;
        Mode mode;
        bool modePicker;
        std::string_view classicText;
        std::string_view troubleshooting;
    };
    const std::vector<Mode> both = {Mode::withLight, Mode::always};
    const auto prefs = [](auto change) {
        SettingsPreferences p;
        change(p);
        return p;
    };
    const Row rows[] = {
        {"defaults",
         kSupported,
         {},
         false,
         true,
         false,
         true,
         texts::kOnAirCameraOrMicrophoneText,
         both,
         Mode::withLight,
         false,
         texts::kClassicWithLightText,
         texts::kDiagnosticsHint},
        {"icon hidden", kSupported, prefs([](auto& p) { p.showMenuBarIcon = false; }), false, false, true, true,
         texts::kOnAirCameraOrMicrophoneText, both, Mode::withLight, false, texts::kClassicWithLightText,
         texts::kDiagnosticsHint},
        {"camera only, on air off", kSupported, prefs([](auto& p) {
             p.onAirSource = OnAirSource::camera;
             p.onAirEnabled = false;
         }),
         true, true, false, false, texts::kOnAirCameraText, both, Mode::withLight, false, texts::kClassicWithLightText,
         texts::kDiagnosticsCopied},
        {"classic logo always", kSupported, prefs([](auto& p) {
             p.classicLogoEnabled = true;
             p.classicLogoShowMode = Mode::always;
         }),
         false, true, false, true, texts::kOnAirCameraOrMicrophoneText, both, Mode::always, true,
         texts::kClassicAlwaysText, texts::kDiagnosticsHint},
        {"with light on a Mac without a lit logo",
         kUnsupported,
         prefs([](auto& p) { p.classicLogoShowMode = Mode::withLight; }),
         false,
         true,
         false,
         true,
         texts::kOnAirCameraOrMicrophoneText,
         {Mode::always},
         Mode::always,
         false,
         texts::kClassicAlwaysText,
         texts::kDiagnosticsHint},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        SettingsInputs in;
        in.hardware = row.hardware;
        in.preferences = row.prefs;
        in.copiedDiagnostics = row.copied;
        const auto state = settingsState(in);
        EXPECT_EQ(state.iconPickerEnabled, row.iconPicker);
        EXPECT_EQ(state.showReopenHint, row.reopenHint);
        EXPECT_EQ(state.onAirOptionsEnabled, row.onAirOptions);
        EXPECT_EQ(state.onAirText, row.onAirText);
        EXPECT_EQ(state.showModes, row.modes);
        EXPECT_EQ(state.showMode, row.mode);
        EXPECT_EQ(state.showModeEnabled, row.modePicker);
        EXPECT_EQ(state.classicLogoText, row.classicText);
        EXPECT_EQ(state.troubleshootingText, row.troubleshooting);
    }
}

// What others wrote by hand must neither crash the window nor be replaced.
TEST(SettingsModel, StoredValuesThatAreNoCaseNameOrOfAnotherTypeReadAsDefaults) {
    struct Row {
        const char* name;
        std::string key;
        PreferenceValue stored;
        SettingsPreferences expected;
    };
    const auto with = [](auto change) {
        SettingsPreferences p;
        change(p);
        return p;
    };
    const Row rows[] = {
        {"tab by its title", "settingsTab", PreferenceValue(std::string("Morse Code")), {}},
        {"tab as a number", "settingsTab", PreferenceValue(std::int64_t{3}), {}},
        {"tab stored right", "settingsTab", PreferenceValue(std::string("breathing")),
         with([](auto& p) { p.tab = Tab::breathing; })},
        {"speed unknown", "morseSpeed", PreferenceValue(std::string("fast")), {}},
        {"show mode unknown", "classicLogoShowMode", PreferenceValue(std::string("sometimes")), {}},
        {"show mode as a Boolean", "classicLogoShowMode", PreferenceValue(true), {}},
        {"switch as a word", "onAirEnabled", PreferenceValue(std::string("maybe")), {}},
        {"switch as a list", "showMenuBarIcon", PreferenceValue(PreferenceArray{PreferenceValue(false)}), {}},
        {"switch as a number", "morseMarkers", PreferenceValue(std::int64_t{0}),
         with([](auto& p) { p.morseMarkers = false; })},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        MemoryDefaults standard;
        standard.values.insert_or_assign(row.key, row.stored);
        EXPECT_EQ(readSettingsPreferences(standard), row.expected);
        EXPECT_EQ(standard.values.at(row.key), row.stored) << "left as it was";
    }
}

TEST(SettingsModel, VersionAndDiagnosticsTexts) {
    PreferenceDictionary info;
    EXPECT_EQ(settingsVersionText(info), "? (?)");
    info.insert_or_assign("CFBundleShortVersionString", PreferenceValue(std::string("2.1")));
    info.insert_or_assign("CFBundleVersion", PreferenceValue(std::int64_t{37}));
    EXPECT_EQ(settingsVersionText(info), "2.1 (?)");
    info.insert_or_assign("CFBundleVersion", PreferenceValue(std::string("37")));
    EXPECT_EQ(settingsVersionText(info), "2.1 (37)");
    SettingsInputs in;
    in.versionText = settingsVersionText(info);
    EXPECT_EQ(settingsState(in).versionLine, "Version 2.1 (37)");

    EXPECT_EQ(diagnosticsText("Lidora diagnostics", 0.6922), "Lidora diagnostics\nLogo brightness: 0.69");
    EXPECT_EQ(diagnosticsText("Lidora diagnostics", 1.0), "Lidora diagnostics\nLogo brightness: 1.00");
    EXPECT_EQ(diagnosticsText("D", std::nullopt), "D\nLogo brightness: unavailable");
}

}  // namespace
}  // namespace lidora::testing
