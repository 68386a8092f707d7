#include <gtest/gtest.h>

#include <algorithm>

#include "core/effects/KeepsLogoDark.h"
#include "core/runtime/VirtualRunLoop.h"
#include "core/shell/SettingsPresenter.h"
#include "core/shell/SettingsTexts.h"
#include "tests/support/RecordingLogSink.h"
#include "tests/unit/brightness/BrightnessFakes.h"
#include "tests/unit/shell/SettingsFakes.h"
#include "tests/unit/shell/ShellFakes.h"

namespace lidora::testing {
namespace {

namespace texts = SettingsTexts;

const BrightnessTable kCurve = {{0, 2}, {1, 400}};

class SettingsPresenterTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto made = std::make_unique<FakeBackend>();
        backend = made.get();
        backend->tables[std::string(kBrightnessCurveKey)] = kCurve;
        backend->tables[std::string(kBrightnessFloorKey)] = {{0, 1}, {1000, 40}};
        brightness = std::make_unique<LogoBrightnessController>(std::move(made), defaults, Logger());
        environment.info.insert_or_assign("CFBundleShortVersionString", PreferenceValue(std::string("2.1")));
        environment.info.insert_or_assign("CFBundleVersion", PreferenceValue(std::string("37")));
    }

    void TearDown() override {
        presenter.reset();
        loop.runUntilIdle();
    }

    SettingsPresenter& make(Phase phase, HardwareSupport hardware = HardwareSupport::supported) {
        controller = std::make_shared<LightController>(
            hardware, "Mac17,12", std::nullopt, light, registration, [] {}, Logger(), loop, environment);
        controller->setPhase(std::move(phase));
        presenter = std::make_unique<SettingsPresenter>(SettingsParts{.loop = loop,
                                                                      .controller = controller,
                                                                      .registration = registration,
                                                                      .defaults = defaults,
                                                                      .brightness = *brightness,
                                                                      .loginItem = loginItem,
                                                                      .application = shell,
                                                                      .environment = environment,
                                                                      .pasteboard = pasteboard,
                                                                      .recycler = recycler,
                                                                      .alerts = alerts,
                                                                      .logSink = log});
        return *presenter;
    }

    MemoryDefaults& standard() { return *defaults.standardDefaults; }
    MemoryDefaults& group() { return *defaults.suiteDefaults; }
    [[nodiscard]] bool logged(const std::string& message) const {
        const auto all = log->messages();
        return std::find(all.begin(), all.end(), message) != all.end();
    }

    VirtualRunLoop loop;
    Trace trace;
    FakeLight light{loop, trace};
    FakeRegistration registration{trace};
    FakeEnvironment environment;
    MemoryDefaultsProvider defaults;
    FakeBackend* backend = nullptr;
    std::unique_ptr<LogoBrightnessController> brightness;
    FakeLoginItem loginItem;
    FakeShell shell;
    FakePasteboard pasteboard;
    FakeRecycler recycler{trace};
    FakeAlerts alerts{trace};
    std::shared_ptr<RecordingLogSink> log = std::make_shared<RecordingLogSink>();
    std::shared_ptr<LightController> controller;
    std::unique_ptr<SettingsPresenter> presenter;
};

TEST_F(SettingsPresenterTest, UninstallBranches) {
    using Ok = Expected<void, HelperError>;
    struct Row {
        const char* name;
        HelperStatus service;
        LightState lightBefore;
        std::optional<HelperError> resetError;
        std::optional<HelperError> switchError;
        std::optional<std::string> trashError;
        // Expected, in the order they happen.
        std::vector<std::string> steps;
        bool tablesForgotten;
    };
    const std::string question = "alert: " + std::string(texts::kUninstallQuestion);
    const std::string notOn = "alert: " + std::string(texts::kLightNotBackOn);
    const std::string trash = "recycle /Applications/Lidora.app";
    const Row rows[] = {
        {"all goes well",
         HelperStatus::enabled,
         LightState::off,
         std::nullopt,
         std::nullopt,
         std::nullopt,
         {question, "reset", "setLight(on)", "state", "unregister", trash},
         true},
        {"reset refused: full brightness locally",
         HelperStatus::enabled,
         LightState::on,
         failure("no tables"),
         std::nullopt,
         std::nullopt,
         {question, "reset", "setLight(on)", "state", "unregister", trash},
         false},
        {"helper not approved, light off: told before unregistering",
         HelperStatus::requiresApproval,
         LightState::off,
         std::nullopt,
         std::nullopt,
         "the Trash is full",
         {question, notOn, "unregister", trash},
         false},
        {"helper not approved, light on: nothing to tell",
         HelperStatus::requiresApproval,
         LightState::on,
         std::nullopt,
         std::nullopt,
         std::nullopt,
         {question, "unregister", trash},
         false},
        {"the light does not come on",
         HelperStatus::enabled,
         LightState::off,
         std::nullopt,
         failure("timed out"),
         std::nullopt,
         {question, "reset", "setLight(on)", notOn, "unregister", trash},
         true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        trace.clear();
        shell.terminations = 0;
        log->records.clear();
        registration.current = row.service;
        loginItem.current = HelperStatus::enabled;
        recycler.error = row.trashError;
        standard().values.clear();
        standard().values["onAirDarkOtherwise"] = true;
        standard().values["onAirTurnedLightOff"] = true;
        standard().values["logoBrightnessOriginalCurve"] = std::string("kept");
        group().values["logoBrightnessLevel"] = 0.3;
        light.resets.scripted.push_back(row.resetError ? Ok(unexpected(*row.resetError)) : Ok());
        light.switches.scripted.push_back(row.switchError ? Ok(unexpected(*row.switchError)) : Ok());
        light.states.scripted.push_back(LightState::on);
        const int writes = backend->writes;

        auto& settings = make(Phase::ready(row.lightBefore));
        settings.uninstall();
        loop.runUntilIdle();

        EXPECT_EQ(trace, row.steps);
        EXPECT_EQ(standard().boolean("onAirDarkOtherwise"), false);
        EXPECT_EQ(standard().object("onAirTurnedLightOff"), std::nullopt);
        EXPECT_EQ(group().number("logoBrightnessLevel"), 1.0);
        EXPECT_EQ(standard().values.count("logoBrightnessOriginalCurve") == 0, row.tablesForgotten);
        EXPECT_EQ(backend->writes > writes, !row.tablesForgotten) << "the local fall-back writes the tables";
        EXPECT_EQ(loginItem.current, HelperStatus::notRegistered);
        EXPECT_EQ(logged(row.trashError ? "Couldn't move app to Trash: " + *row.trashError
                                        : std::string("Moved Lidora to the Trash")),
                  true);
        EXPECT_EQ(shell.terminations, 1) << "quits in every case";
        light.resets.scripted.clear();
        light.switches.scripted.clear();
        light.states.scripted.clear();
    }
}

TEST_F(SettingsPresenterTest, CancelledUninstallChangesNothingAndMayBeStartedAgain) {
    standard().values["onAirDarkOtherwise"] = true;
    standard().values["onAirTurnedLightOff"] = true;
    group().values["logoBrightnessLevel"] = 0.3;
    loginItem.current = HelperStatus::enabled;
    const auto before = standard().values;
    alerts.answers = {kAlertFirstButtonReturn + 1};
    auto& settings = make(Phase::ready(LightState::off));
    settings.uninstall();
    settings.uninstall();  // a second press while the first asks
    loop.runUntilIdle();
    EXPECT_EQ(trace, (Trace{"alert: Uninstall Lidora?"}));
    EXPECT_EQ(standard().values, before);
    EXPECT_EQ(group().number("logoBrightnessLevel"), 0.3);
    EXPECT_EQ(loginItem.current, HelperStatus::enabled);
    EXPECT_EQ(shell.terminations, 0);
    EXPECT_EQ(alerts.shown.at(0).buttons, (std::vector<std::string>{"Uninstall", "Cancel"}));
    EXPECT_FALSE(settings.isUninstalling());

    alerts.answers = {kAlertFirstButtonReturn + 1};
    settings.uninstall();
    loop.runUntilIdle();
    EXPECT_EQ(alerts.shown.size(), 2U);
}

TEST_F(SettingsPresenterTest, RefusedLaunchAtLoginIsLoggedAndTheSwitchShowsTheRealStatus) {
    auto& settings = make(Phase::ready(LightState::on));
    settings.launchAtLoginChosen(true);
    EXPECT_TRUE(settings.state().launchAtLogin);
    loginItem.refusal = "Operation not permitted";
    settings.launchAtLoginChosen(false);
    EXPECT_TRUE(settings.state().launchAtLogin) << "still enabled";
    EXPECT_TRUE(logged("Launch at login change failed: Operation not permitted"));
    EXPECT_EQ(log->records.back().category, "app");

    // Changed behind the window's back: it reads the status each time it is shown.
    loginItem.current = HelperStatus::notRegistered;
    light.states.scripted.emplace_back(LightState::on);  // the refresh that showing the window asks for
    settings.appeared();
    EXPECT_FALSE(settings.state().launchAtLogin);
}

TEST_F(SettingsPresenterTest, CopyDiagnosticsWithAndWithoutACurve) {
    group().values["logoBrightnessLevel"] = 0.6922;
    auto& settings = make(Phase::ready(LightState::on));
    const std::string diagnostics = controller->diagnostics();
    settings.copyDiagnostics();
    EXPECT_EQ(pasteboard.text, diagnostics + "\nLogo brightness: 0.69");
    EXPECT_EQ(settings.state().troubleshootingText, texts::kDiagnosticsCopied);

    backend->tables.erase(std::string(kBrightnessCurveKey));
    settings.copyDiagnostics();
    EXPECT_EQ(pasteboard.text, diagnostics + "\nLogo brightness: unavailable");
    EXPECT_EQ(pasteboard.clears, 2);
}

TEST_F(SettingsPresenterTest, RefusedPasteboardIsNotCalledCopied) {
    pasteboard.refuse = true;
    auto& settings = make(Phase::ready(LightState::on));
    settings.copyDiagnostics();
    EXPECT_EQ(settings.state().troubleshootingText, texts::kDiagnosticsHint);
    EXPECT_TRUE(logged("Couldn't put the diagnostics on the pasteboard"));
}

TEST_F(SettingsPresenterTest, ChoicesAreStoredAsRawValuesAndOtherWritersShowAtOnce) {
    auto& settings = make(Phase::ready(LightState::on));
    struct Row {
        std::function<void()> choose;
        std::string key;
        PreferenceValue stored;
    };
    const Row rows[] = {
        {[&] { settings.tabChosen(SettingsTab::morseCode); }, "settingsTab", std::string("morseCode")},
        {[&] { settings.onAirSourceChosen(OnAirSource::camera); }, "onAirSource", std::string("camera")},
        {[&] { settings.morseSpeedChosen(MessageSettings::Speed::pro); }, "morseSpeed", std::string("pro")},
        {[&] { settings.showModeChosen(EasterEgg::ShowMode::always); }, "classicLogoShowMode", std::string("always")},
        {[&] { settings.showMenuBarIconChosen(false); }, "showMenuBarIcon", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.key);
        row.choose();
        EXPECT_EQ(standard().values.at(row.key), row.stored);
    }
    const auto state = settings.state();
    EXPECT_EQ(state.visibleTab, SettingsTab::morseCode);
    EXPECT_EQ(state.onAirText, texts::kOnAirCameraText);
    EXPECT_FALSE(state.iconPickerEnabled);

    standard().values["onAirEnabled"] = true;  // as `defaults write` would
    EXPECT_TRUE(settings.state().onAirEnabled);

    // A write that fails is logged and the window keeps showing what is stored.
    standard().failWrites = "disk full";
    settings.onAirEnabledChosen(false);
    EXPECT_TRUE(settings.state().onAirEnabled);
    EXPECT_TRUE(logged("Couldn't save the setting onAirEnabled: disk full"));
}

}  // namespace
}  // namespace lidora::testing
