#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "core/effects/KeepsLogoDark.h"
#include "core/effects/LogoEffectsWatcher.h"
#include "core/runtime/Spawn.h"
#include "core/runtime/VirtualRunLoop.h"
#include "tests/support/RecordingLogSink.h"
#include "tests/unit/brightness/BrightnessFakes.h"
#include "tests/unit/effects/EffectsFakes.h"
#include "tests/unit/shell/ShellFakes.h"

namespace lidora {
namespace {

using ::testing::ElementsAre;
using testing::FakeLight;

class LogoEffectsWatcherTest : public ::testing::Test {
protected:
    LogoEffectsWatcherTest() {
        backend.tables = {{std::string(kBrightnessCurveKey), {{0, 10}, {1, 400}}},
                          {std::string(kBrightnessFloorKey), {{0, 2}, {100, 40}}}};
        auto owned = std::make_unique<testing::FakeBackend>(backend);
        controller.emplace(std::move(owned), provider, Logger());
    }

    LogoEffectsWatcher& make() {
        watcher.emplace(LogoEffectsParts{
            .loop = loop,
            .backend = backend,
            .brightness = *controller,
            .standard = *provider.standardDefaults,
            .group = *provider.suiteDefaults,
            .controls = controls,
            .distributed = distributed,
            .workspace = workspace,
            .darwin = darwin,
            .session = session,
            .power = power,
            .makeDevices =
                [this](std::function<void()> onChange) {
                    auto made = std::make_unique<testing::FakeDevices>();
                    made->onChange = std::move(onChange);
                    devices = made.get();
                    return made;
                },
            .light = {.isOn = [this] { return light.on; },
                      .set = [this](bool on) { return testing::switchFakeLight(light, on); }},
            .logSink = sink,
        });
        watcher->start();
        loop.runUntilIdle();
        return *watcher;
    }
    void set(std::string_view key, PreferenceValue value) { (void)provider.standardDefaults->set(key, value); }
    void lockOnMains() {
        session.setLocked(true);
        power.type = std::string(kACPowerSourceType);
    }
    [[nodiscard]] bool owesLight() const {
        return provider.standardDefaults->boolean(kOnAirTurnedLightOffKey).value_or(false);
    }
    void settle() {
        watcher->update();
        loop.runUntilIdle();
    }

    VirtualRunLoop loop;
    testing::FakeBackend backend;
    testing::MemoryDefaultsProvider provider;
    std::optional<LogoBrightnessController> controller;
    testing::FakeControls controls;
    testing::FakeDistributed distributed;
    testing::FakeWorkspace workspace;
    testing::FakeNotifications darwin;
    testing::FakeSession session;
    testing::FakePower power;
    testing::FakeDevices* devices = nullptr;
    FakeLight light;
    std::shared_ptr<testing::RecordingLogSink> sink = std::make_shared<testing::RecordingLogSink>();
    std::optional<LogoEffectsWatcher> watcher;
};

// The rule table, without a message: what runs for each situation.
TEST_F(LogoEffectsWatcherTest, TheFirstRuleThatAppliesPicksTheEffect) {
    const struct {
        const char* situation;
        bool locked, mains, lit, camera, mic, asleep, keepDark, cameraOnly, onAirEnabled, breathe;
        LogoEffect expected;
    } cases[] = {
        {"locked on mains", true, true, true, false, false, false, false, false, true, true, LogoEffect::breathing},
        {"on battery", true, false, true, false, false, false, false, false, true, true, LogoEffect::none},
        {"breathing not allowed", true, true, true, false, false, false, false, false, true, false, LogoEffect::none},
        {"camera beats breathing", true, true, true, true, false, false, false, false, true, true, LogoEffect::onAir},
        {"microphone counts", false, false, true, false, true, false, false, false, true, true, LogoEffect::onAir},
        {"microphone alone with camera only", false, false, true, false, true, false, false, true, true, true,
         LogoEffect::none},
        {"On Air disabled", false, false, true, true, true, false, false, false, false, true, LogoEffect::none},
        {"light off", true, true, false, true, false, false, false, false, true, true, LogoEffect::none},
        {"display asleep", true, true, true, true, false, true, false, false, true, true, LogoEffect::none},
        {"keep dark, on air, light still off", false, false, false, true, false, false, true, false, true, true,
         LogoEffect::onAir},
        {"keep dark never breathes", true, true, true, false, false, false, true, false, true, true, LogoEffect::none},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.situation);
        provider.standardDefaults->values.clear();
        session.setLocked(c.locked);
        power.type = std::string(c.mains ? kACPowerSourceType : kBatteryPowerSourceType);
        light = FakeLight{.on = c.lit, .refuses = false, .switches = {}};
        set(kOnAirDarkOtherwiseKey, c.keepDark);
        set(kOnAirEnabledKey, c.onAirEnabled);
        set(kBreatheWhenLockedAndChargingKey, c.breathe);
        set(kOnAirSourceKey, std::string(c.cameraOnly ? "camera" : "anything else"));
        auto& w = make();
        devices->camera = c.camera;
        devices->mic = c.mic;
        if (c.asleep) {
            workspace.screensSleep();
        }
        light.on = c.lit;  // as it was, whatever keep-dark switched meanwhile
        w.update();
        EXPECT_EQ(logoEffectName(w.effect()), logoEffectName(c.expected));
    }
}

TEST_F(LogoEffectsWatcherTest, NotificationsMoveBetweenEffectsAndLogTheChange) {
    lockOnMains();
    auto& w = make();
    EXPECT_EQ(w.effect(), LogoEffect::breathing);
    EXPECT_TRUE(w.breather().isRunning());

    devices->change(true, false);
    EXPECT_EQ(w.effect(), LogoEffect::onAir);
    EXPECT_FALSE(w.breather().isRunning());
    EXPECT_TRUE(w.signal().isRunning());

    devices->change(false, false);
    power.type = std::string(kBatteryPowerSourceType);
    darwin.deliver(kPowerSourceNotification);
    EXPECT_EQ(w.effect(), LogoEffect::none);
    EXPECT_FALSE(w.signal().isRunning());

    const auto logged = sink->messages().size();
    settle();
    EXPECT_EQ(sink->messages().size(), logged) << "nothing changed, nothing logged";
    EXPECT_THAT(sink->messages(), ::testing::Contains("Logo effect breathing -> none: locked true, AC false, display "
                                                      "asleep false, camera false, mic false"));

    // Waking reads the lock again, which may have ended while asleep.
    power.type = std::string(kACPowerSourceType);
    darwin.deliver(kPowerSourceNotification);
    EXPECT_EQ(w.effect(), LogoEffect::breathing);
    session.setLocked(false);
    workspace.wake();
    EXPECT_EQ(w.effect(), LogoEffect::none);
    distributed.post(kScreenIsLockedNotification);
    EXPECT_EQ(w.effect(), LogoEffect::breathing);
}

TEST_F(LogoEffectsWatcherTest, KeepDarkSwitchesTheLightForOnAirAndGivesItBack) {
    set(kOnAirDarkOtherwiseKey, true);
    auto& w = make();
    EXPECT_THAT(light.switches, ElementsAre(false));
    EXPECT_TRUE(owesLight());
    EXPECT_EQ(w.effect(), LogoEffect::none);

    devices->change(true, false);
    EXPECT_EQ(w.effect(), LogoEffect::onAir) << "On Air does not wait for the light";
    loop.runUntilIdle();
    EXPECT_THAT(light.switches, ElementsAre(false, true));
    EXPECT_TRUE(owesLight()) << "only an off switch is owed";

    devices->change(false, false);
    loop.runUntilIdle();
    EXPECT_THAT(light.switches, ElementsAre(false, true, false));

    set(kOnAirDarkOtherwiseKey, false);
    settle();
    EXPECT_THAT(light.switches, ElementsAre(false, true, false, true));
    EXPECT_FALSE(owesLight());
    EXPECT_THAT(sink->messages(), ::testing::Contains("On Air dark mode: turning the light on"));
}

TEST_F(LogoEffectsWatcherTest, AMessageGetsTheLightItNeedsAndGivesItBack) {
    light.on = false;
    auto& w = make();
    auto sent = w.send("E", MorseCode::Timing{0.4, 2, 4, 5}, false);
    bool began = false;
    spawn(loop,
          [](Task<bool> task, bool& out) -> Task<void> { out = co_await std::move(task); }(std::move(sent), began));
    loop.runUntilIdle();
    EXPECT_TRUE(began);
    EXPECT_EQ(w.effect(), LogoEffect::message);
    EXPECT_EQ(w.messageState().text.get(), std::optional<std::string>("E"));
    EXPECT_THAT(sink->messages(), ::testing::Contains("Sending a message (1 characters, 2.400000 s): <private>"));

    loop.advance(std::chrono::seconds(3));
    EXPECT_EQ(w.effect(), LogoEffect::none);
    EXPECT_EQ(w.message(), nullptr);
    EXPECT_EQ(w.messageState().text.get(), std::nullopt);
    EXPECT_THAT(light.switches, ElementsAre(true, false)) << "switched on for the message, off after it";
}

TEST_F(LogoEffectsWatcherTest, InKeepDarkModeAMessageKeepsTheLightUntilItEnds) {
    set(kOnAirDarkOtherwiseKey, true);
    auto& w = make();
    light.switches.clear();
    spawn(loop, [](Task<bool> task) -> Task<void> {
        co_await std::move(task);
    }(w.send("T", MorseCode::Timing{0.4, 2, 4, 5}, false)));
    loop.runUntilIdle();
    EXPECT_EQ(w.effect(), LogoEffect::message);
    EXPECT_THAT(light.switches, ElementsAre(true)) << "the dark mode leaves the light on for a message";

    loop.advance(std::chrono::seconds(5));
    EXPECT_EQ(w.effect(), LogoEffect::none);
    EXPECT_THAT(light.switches, ElementsAre(true, false));
    EXPECT_TRUE(owesLight());
}

TEST_F(LogoEffectsWatcherTest, MessagesThatCannotBeSentOrAreCutShortSayWhy) {
    auto& w = make();
    const auto sendNow = [&](std::string text) {
        bool began = true;
        spawn(loop, [](Task<bool> task, bool& out) -> Task<void> {
            out = co_await std::move(task);
        }(w.send(std::move(text), MorseCode::Timing{}, true), began));
        loop.runUntilIdle();
        return began;
    };
    EXPECT_FALSE(sendNow("\xe4\xbd\xa0\xe5\xa5\xbd"));
    EXPECT_EQ(w.messageState().problem.get(), std::optional<std::string>(kNothingToSendProblem));

    light = FakeLight{.on = false, .refuses = true, .switches = {}};
    EXPECT_FALSE(sendNow("SOS"));
    EXPECT_EQ(w.messageState().problem.get(), std::optional<std::string>(kLightDidNotComeOnProblem));

    // A timing no player can play (a unit of no length): the message is not
    // reported as sent, and the light switched on for it goes off again.
    light = FakeLight{.on = false, .refuses = false, .switches = {}};
    bool began = true;
    spawn(loop, [](Task<bool> task, bool& out) -> Task<void> {
        out = co_await std::move(task);
    }(w.send("SOS", MorseCode::Timing{0.0, 2, 4, 5}, false), began));
    loop.runUntilIdle();
    EXPECT_FALSE(began);
    EXPECT_EQ(w.messageState().problem.get(), std::optional<std::string>(kCouldNotSendProblem));
    EXPECT_EQ(w.message(), nullptr);
    EXPECT_EQ(w.effect(), LogoEffect::none);
    EXPECT_THAT(light.switches, ElementsAre(true, false));

    // A second message replaces the first and plays; the display sleeping
    // drops it.
    light = FakeLight{.on = true, .refuses = false, .switches = {}};
    EXPECT_TRUE(sendNow("PARIS PARIS"));
    EXPECT_TRUE(sendNow("SOS"));
    EXPECT_EQ(w.effect(), LogoEffect::message);
    EXPECT_TRUE(w.message() != nullptr && w.message()->isRunning());
    EXPECT_EQ(w.messageState().problem.get(), std::nullopt);
    workspace.screensSleep();
    loop.runUntilIdle();
    EXPECT_EQ(w.effect(), LogoEffect::none);
    EXPECT_EQ(w.message(), nullptr);
    EXPECT_EQ(w.messageState().text.get(), std::nullopt);
    EXPECT_TRUE(light.switches.empty()) << "the light was on already and stays so";
}

}  // namespace
}  // namespace lidora
