#include <gtest/gtest.h>

#include "core/effects/KeepsLogoDark.h"
#include "core/runtime/Spawn.h"
#include "core/runtime/VirtualRunLoop.h"
#include "core/shell/PanelPresenter.h"
#include "tests/unit/brightness/BrightnessFakes.h"
#include "tests/unit/light/LightFakes.h"
#include "tests/unit/overlay/OverlayFakes.h"
#include "tests/unit/shell/ShellFakes.h"

namespace lidora::testing {
namespace {

using namespace std::chrono_literals;

class AppDelegateTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto made = std::make_unique<FakeBackend>();
        backend = made.get();
        backend->tables[std::string(kBrightnessCurveKey)] = {{0, 2}, {1, 400}};
        backend->tables[std::string(kBrightnessFloorKey)] = {{0, 1}, {1000, 40}};
        brightness = std::make_unique<LogoBrightnessController>(std::move(made), defaults, Logger());
    }

    // Tasks still waiting on the fake helper finish, so no coroutine frame
    // outlives the test.
    void TearDown() override { finishHelperCalls(); }

    void finishHelperCalls() {
        for (int round = 0; round < 4; ++round) {
            resolveHeld(light.states);
            resolveHeld(light.versions);
            resolveHeld(light.switches);
            resolveHeld(light.resets);
            loop.runUntilIdle();
        }
    }

    template <typename T>
    static void resolveHeld(Answers<T>& answers) {
        auto held = std::move(answers.held);
        answers.held.clear();
        for (const auto& slot : held) {
            slot.resolve(unexpected(failure("the test is over")));
        }
    }

    AppDelegate& launch(std::string model = "Mac17,12") {
        app = std::make_unique<AppDelegate>(AppParts{.loop = loop,
                                                     .logSink = nullptr,
                                                     .defaults = defaults,
                                                     .light = light,
                                                     .registration = registration,
                                                     .modelIdentifier = std::move(model),
                                                     .environment = environment,
                                                     .brightness = *brightness,
                                                     .controls = controls,
                                                     .notifications = notifications,
                                                     .workspace = workspace,
                                                     .hotKeyEvents = hotKeyEvents,
                                                     .loginItem = loginItem,
                                                     .application = shell,
                                                     .settingsWindow = settings,
                                                     .messageWindow = message,
                                                     .makeEffects =
                                                         [this](LogoEffectsLight /*light*/) {
                                                             auto made = std::make_unique<FakeEffects>();
                                                             effects = made.get();
                                                             return made;
                                                         },
                                                     .overlay = overlay,
                                                     .events = events,
                                                     .makeUpdaterController =
                                                         [this](bool, StandardUserDriverDelegate&) {
                                                             auto made = std::make_unique<FakeUpdaterController>();
                                                             updater = made.get();
                                                             return made;
                                                         }});
        app->applicationDidFinishLaunching();
        loop.runUntilIdle();
        return *app;
    }

    MemoryDefaults& standard() { return *defaults.standardDefaults; }
    MemoryDefaults& group() { return *defaults.suiteDefaults; }

    VirtualRunLoop loop;
    Trace trace;
    FakeLight light{loop, trace};
    FakeRegistration registration{trace};
    FakeEnvironment environment;
    MemoryDefaultsProvider defaults;
    FakeBackend* backend = nullptr;
    std::unique_ptr<LogoBrightnessController> brightness;
    FakeControls controls;
    FakeNotifications notifications;
    FakeWorkspace workspace;
    FakeHotKeyEvents hotKeyEvents;
    FakeLoginItem loginItem;
    FakeShell shell;
    FakeWindow settings;
    FakeWindow message;
    FakeEffects* effects = nullptr;
    FakeWindowServer windowServer;
    FakeScreens screens;
    FakePanelMaker panelMaker;
    AppleLogoOverlay overlay{{loop, windowServer, screens, panelMaker, nullptr}};
    FakeEvents events;
    FakeUpdaterController* updater = nullptr;
    std::unique_ptr<AppDelegate> app;
};

TEST_F(AppDelegateTest, LaunchRegistersBothHotKeysAndTheClassicLogoKeyToggles) {
    launch();
    ASSERT_EQ(hotKeyEvents.registered.size(), 2U);
    EXPECT_EQ(hotKeyEvents.registered[0].keyCode, 26U);
    EXPECT_EQ(hotKeyEvents.registered[0].modifiers, 768U);
    EXPECT_EQ(hotKeyEvents.registered[1].keyCode, 29U);
    EXPECT_EQ(hotKeyEvents.registered[1].id.id, 2U);
    hotKeyEvents.press(26, 768);
    EXPECT_EQ(standard().boolean(kClassicLogoUnlockedKey), true);
    EXPECT_EQ(standard().boolean(kClassicLogoEnabledKey), true);
    hotKeyEvents.press(26, 768);
    EXPECT_EQ(standard().boolean(kClassicLogoUnlockedKey), true);
    EXPECT_EQ(standard().boolean(kClassicLogoEnabledKey), false);
    hotKeyEvents.press(29, 768);
    EXPECT_EQ(message.shown, 1);
    ASSERT_NE(updater, nullptr);
    EXPECT_NE(app->updater(), nullptr);

    // Unsupported hardware gets no message key.
    finishHelperCalls();
    app.reset();
    hotKeyEvents.registered.clear();
    launch("MacBookPro18,3");
    ASSERT_EQ(hotKeyEvents.registered.size(), 1U);
    EXPECT_EQ(hotKeyEvents.registered[0].keyCode, 26U);
}

TEST_F(AppDelegateTest, BrightnessIsMigratedAppliedOnNoticeAndEveryMinute) {
    standard().values["logoBrightnessLevel"] = 0.5;
    launch();
    EXPECT_EQ(group().number(kLogoBrightnessLevelKey), 0.5);
    EXPECT_EQ(backend->writes, 2);  // both tables, scaled to the migrated level
    const int reads = backend->reads;

    controls.reloads.clear();
    notifications.deliver(kBrightnessChangedNotification);
    loop.runUntilIdle();
    EXPECT_GT(backend->reads, reads);
    EXPECT_EQ(backend->writes, 2);
    EXPECT_EQ(controls.reloads, std::vector<std::string>{std::string(kLogoBrightnessControlKind)});

    const int beforeTimer = backend->reads;
    loop.advance(59s);
    EXPECT_EQ(backend->reads, beforeTimer);
    loop.advance(1s);
    EXPECT_GT(backend->reads, beforeTimer);
}

TEST_F(AppDelegateTest, ChangedNoticeAndWakeRefreshTheLight) {
    light.versions.scripted.push_back(std::string("1.0.3"));
    light.states.scripted.push_back(LightState::on);
    launch();
    trace.clear();
    light.states.scripted.push_back(LightState::off);
    notifications.deliver(kChangedNotification);
    loop.runUntilIdle();
    EXPECT_EQ(trace, Trace{"state"});
    EXPECT_EQ(app->controller().knownLightState(), LightState::off);

    light.states.scripted.push_back(LightState::off);
    const int reads = backend->reads;
    workspace.wake();
    loop.runUntilIdle();
    EXPECT_EQ(backend->reads, reads);  // brightness waits two seconds after the refresh
    loop.advance(2s);
    EXPECT_GT(backend->reads, reads);
}

// Reads started by a wake or a notice may still wait on the helper when the
// delegate goes; they finish on the controller they hold.
TEST_F(AppDelegateTest, ReadsInFlightFinishAfterTheDelegateIsGone) {
    light.versions.scripted.push_back(std::string("2"));
    light.states.scripted.push_back(LightState::on);
    launch();
    workspace.wake();
    notifications.deliver(kChangedNotification);
    loop.runUntilIdle();
    ASSERT_EQ(light.states.held.size(), 2U);
    const int reads = backend->reads;
    app.reset();
    finishHelperCalls();
    loop.advance(2s);
    EXPECT_GT(backend->reads, reads) << "the brightness still follows the wake";
}

TEST_F(AppDelegateTest, KeepDarkMirrorIsPublishedAtLaunch) {
    standard().values["onAirDarkOtherwise"] = true;
    launch();
    EXPECT_EQ(group().boolean("onAirKeepsLogoDark"), true);
    standard().values["onAirEnabled"] = false;
    publishKeepsLogoDark(standard(), group(), controls);
    EXPECT_EQ(group().boolean("onAirKeepsLogoDark"), false);
}

TEST_F(AppDelegateTest, HiddenIconOpensSettingsUnlessLaunchedAtLogin) {
    standard().values["showMenuBarIcon"] = false;
    launch();
    EXPECT_EQ(settings.shown, 1);
    EXPECT_EQ(shell.activations, 1);

    finishHelperCalls();
    app.reset();
    settings.shown = 0;
    loginItem.current = HelperStatus::enabled;
    launch();
    EXPECT_EQ(settings.shown, 0);
    workspace.reopen();
    EXPECT_EQ(settings.shown, 1);
}

TEST_F(AppDelegateTest, ClassicLogoFollowsTheLightAndTheAboutPanelFollowsIt) {
    standard().values["classicLogoEnabled"] = true;
    light.versions.scripted.push_back(std::string("1.0.3"));
    light.states.scripted.push_back(LightState::on);
    launch();
    EXPECT_TRUE(overlay.style());
    EXPECT_TRUE(app->fullScreenWatcher().running());
    app->showAboutPanel();
    ASSERT_EQ(shell.about.size(), 1U);
    EXPECT_EQ(shell.about[0].iconName, "AboutIconRainbow");
    EXPECT_EQ(shell.about[0].credits,
              "Six bright stripes return\nmy Mac hums through each long task\nold love, ever new");

    app->controller().setPhase(Phase::ready(LightState::off));
    loop.runUntilIdle();
    EXPECT_FALSE(overlay.style());
    EXPECT_FALSE(app->fullScreenWatcher().running());
    app->showAboutPanel();
    EXPECT_EQ(shell.about[1].iconName, "AppIcon");

    standard().values["classicLogoShowMode"] = std::string("always");
    app->controller().setPhase(Phase::ready(LightState::off));
    app->controller().setPhase(Phase::loading());
    loop.runUntilIdle();
    EXPECT_TRUE(overlay.style());
    EXPECT_TRUE(app->fullScreenWatcher().running());
}

TEST_F(AppDelegateTest, ACopyOnADiskImageCarriesTheInstallProblem) {
    environment.bundle = "/Volumes/Lidora/Lidora.app";
    launch();
    EXPECT_EQ(app->controller().installProblem(), "Move Lidora to your Applications folder, then open it from there.");
    EXPECT_TRUE(trace.empty()) << "neither registration nor the helper is touched";
}

TEST_F(AppDelegateTest, SendMessageReportsWhyItCannot) {
    registration.current = HelperStatus::requiresApproval;
    launch();
    const auto blocked = app->controller().blockingMessage();
    ASSERT_TRUE(blocked);
    std::optional<std::optional<std::string>> result;
    auto run = [](AppDelegate& delegate, std::optional<std::optional<std::string>>& out) -> Task<void> {
        out = co_await delegate.sendMessage("SOS", MorseCode::Timing{}, true);
    };
    spawn(loop, run(*app, result));
    loop.runUntilIdle();
    ASSERT_TRUE(result);
    EXPECT_EQ(*result, blocked);
}

TEST_F(AppDelegateTest, ApprovalGivenLaterIsNoticedWithoutTheUserReopeningThePanel) {
    registration.current = HelperStatus::requiresApproval;
    launch();
    ASSERT_TRUE(app->controller().phase().isNeedsApproval());
    loop.advance(10s);
    EXPECT_TRUE(app->controller().phase().isNeedsApproval());
    trace.clear();
    registration.current = HelperStatus::enabled;
    light.states.scripted.push_back(LightState::on);
    loop.advance(2s);
    EXPECT_EQ(app->controller().phase(), Phase::ready(LightState::on));
    EXPECT_EQ(trace, Trace{"state"});
    loop.advance(10s);
    EXPECT_EQ(trace, Trace{"state"});  // no more polling once it is allowed
}

struct RecordingView final : PanelView {
    void render(const PanelState& shown, double, const std::string& text) override {
        state = shown;
        levelText = text;
        ++renders;
    }
    void dismiss() override { ++dismissals; }
    PanelState state;
    std::string levelText;
    int renders = 0;
    int dismissals = 0;
};

TEST_F(AppDelegateTest, PanelStoresTheLevelAndAppliesItOnceSettledAndOnRelease) {
    light.versions.scripted.push_back(std::string("1.0.3"));
    light.states.scripted.push_back(LightState::on);
    launch();
    PanelPresenter presenter(app->panelParts());
    RecordingView view;
    presenter.attach(&view);
    light.states.scripted.push_back(LightState::on);
    presenter.appeared();
    loop.runUntilIdle();
    EXPECT_TRUE(view.state.showBrightnessCard);
    EXPECT_EQ(view.levelText, "100%");

    const int writes = backend->writes;
    controls.reloads.clear();
    for (const double level : {0.9, 0.8, 0.6922378005816023}) {
        presenter.levelChanged(level);
        loop.advance(20ms);
    }
    EXPECT_EQ(backend->writes, writes);
    loop.advance(60ms);
    EXPECT_EQ(backend->writes, writes + 2);
    EXPECT_EQ(group().number(kLogoBrightnessLevelKey), 0.6922378005816023);
    EXPECT_EQ(controls.reloads.size(), 1U);
    presenter.levelEditingEnded();
    loop.runUntilIdle();
    EXPECT_EQ(backend->writes, writes + 2);  // already right: read, not written
    EXPECT_EQ(controls.reloads.size(), 2U);
    presenter.update();
    EXPECT_EQ(view.levelText, "30%");

    presenter.updateAvailable();
    EXPECT_EQ(view.dismissals, 1);
    EXPECT_EQ(updater->checks, 1);
    presenter.attach(nullptr);
}

}  // namespace
}  // namespace lidora::testing
