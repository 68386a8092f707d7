#include <gtest/gtest.h>

#include "core/control/SetLogoLightIntent.h"
#include "core/control/StepLogoBrightnessIntent.h"
#include "tests/unit/control/ControlFakes.h"

namespace lidora::testing {
namespace {

constexpr const char* kLevelKey = "logoBrightnessLevel";
const std::string kPostChanged = "post com.zelquin.lidora.changed";
const std::string kPostBrightness = "post com.zelquin.lidora.brightness-changed";
const std::string kReloadLight = "reload com.zelquin.lidora.control.logo-light";
const std::string kReloadBrightness = "reload com.zelquin.lidora.control.logo-brightness";
const std::string kAskRunning = "running? com.zelquin.lidora";
const std::string kOpenActivated = "open+activate /Applications/Lidora.app";
const std::string kOpenInBackground = "open /Applications/Lidora.app";
const HelperError kNotApproved{"Operation not permitted"};

std::optional<double> storedLevel(ControlWorld& world) {
    return world.group().number(kLevelKey);
}

TEST(SetLogoLightIntent, SwitchesThenTellsTheAppOrOpensItOnFailure) {
    const struct {
        bool value;
        std::optional<HelperError> failure;
        Trace trace;
    } cases[] = {
        {true, std::nullopt, {"setLight(on)", kPostChanged, kReloadBrightness}},
        {false, std::nullopt, {"setLight(off)", kPostChanged, kReloadBrightness}},
        {false, kNotApproved, {"setLight(off)", kOpenActivated}},
    };
    for (const auto& c : cases) {
        ControlWorld world;
        if (c.failure) {
            world.light.switches.scripted.emplace_back(unexpected(*c.failure));
        } else {
            world.light.switches.scripted.emplace_back();
        }
        const control::SetLogoLightIntent intent{.value = c.value};
        const auto done = world.finish(intent.perform(world.parts));
        EXPECT_EQ(done.has_value(), !c.failure);
        if (!done) {
            EXPECT_EQ(done.error().message, "Lidora couldn't change the logo light. Open Lidora to finish setup.");
        }
        EXPECT_EQ(world.trace, c.trace);
    }
}

struct StepCase {
    const char* name;
    std::optional<Expected<LightState, HelperError>> state;  // empty: the read fails
    std::optional<double> level;                             // empty: none stored
    bool keptDark = false;
    bool running = true;
    bool installed = true;
    std::optional<HelperError> switchFailure;
    std::optional<double> levelAfter;
    std::optional<std::string> failure;
    Trace trace;
};

TEST(StepLogoBrightnessIntent, FollowsTheLightTheKeepDarkFlagAndTheApp) {
    const HelperError unreachable{"Couldn't reach the Lidora helper: gone"};
    const StepCase cases[] = {
        {"on, running",
         LightState::on,
         1.0,
         false,
         true,
         true,
         std::nullopt,
         0.8694216207171603,
         std::nullopt,
         {"state", kAskRunning, kPostBrightness, kReloadLight, kReloadBrightness}},
        {"no level stored counts as full",
         LightState::on,
         std::nullopt,
         false,
         true,
         true,
         std::nullopt,
         0.8694216207171603,
         std::nullopt,
         {"state", kAskRunning, kPostBrightness, kReloadLight, kReloadBrightness}},
        {"off: only turned on",
         LightState::off,
         0.75,
         false,
         true,
         true,
         std::nullopt,
         0.75,
         std::nullopt,
         {"state", "setLight(on)", kPostChanged, kAskRunning, kPostBrightness, kReloadLight, kReloadBrightness}},
        {"off and not running: turned on, app launched",
         LightState::off,
         0.0,
         false,
         false,
         true,
         std::nullopt,
         0.0,
         std::nullopt,
         {"state", "setLight(on)", kPostChanged, kAskRunning, kOpenInBackground, kReloadLight, kReloadBrightness}},
        {"off but kept dark: stepped, light left alone",
         LightState::off,
         0.8694216207171603,
         true,
         true,
         true,
         std::nullopt,
         0.6922378005816023,
         std::nullopt,
         {"state", kAskRunning, kPostBrightness, kReloadLight, kReloadBrightness}},
        {"not running: stored, launched in the background, not notified",
         LightState::on,
         0.6922378005816023,
         false,
         false,
         true,
         std::nullopt,
         0.0,
         std::nullopt,
         {"state", kAskRunning, kOpenInBackground, kReloadLight, kReloadBrightness}},
        {"not installed: completes without opening",
         LightState::on,
         0.0,
         false,
         false,
         false,
         std::nullopt,
         1.0,
         std::nullopt,
         {"state", kAskRunning, kReloadLight, kReloadBrightness}},
        {"daemon unreachable: stepped as if lit",
         Expected<LightState, HelperError>(unexpected(unreachable)),
         0.75,
         false,
         true,
         true,
         std::nullopt,
         0.6922378005816023,
         std::nullopt,
         {"state", kAskRunning, kPostBrightness, kReloadLight, kReloadBrightness}},
        {"turning on fails: app opened and activated, level kept",
         LightState::off,
         0.75,
         false,
         true,
         true,
         kNotApproved,
         0.75,
         "Lidora couldn't turn on the logo light. Open Lidora to finish setup.",
         {"state", "setLight(on)", kOpenActivated}},
    };
    for (const auto& c : cases) {
        ControlWorld world;
        world.light.states.scripted.push_back(*c.state);
        if (c.switchFailure) {
            world.light.switches.scripted.emplace_back(unexpected(*c.switchFailure));
        } else {
            world.light.switches.scripted.emplace_back();
        }
        if (c.level) {
            world.group().values.insert_or_assign(kLevelKey, PreferenceValue(*c.level));
        }
        world.group().values.insert_or_assign("onAirKeepsLogoDark", PreferenceValue(c.keptDark));
        world.apps.running = c.running;
        world.apps.installed = c.installed;

        const control::StepLogoBrightnessIntent intent;
        const auto done = world.finish(intent.perform(world.parts));
        EXPECT_EQ(done ? std::nullopt : std::optional(done.error().message), c.failure) << c.name;
        EXPECT_EQ(storedLevel(world), c.levelAfter) << c.name;
        EXPECT_EQ(world.trace, c.trace) << c.name;
    }
}

TEST(StepLogoBrightnessIntent, AFailedStoreTellsNobody) {
    ControlWorld world;
    world.light.states.scripted.emplace_back(LightState::on);
    world.group().failWrites = "No space left on device";
    const auto done = world.finish(control::StepLogoBrightnessIntent{}.perform(world.parts));
    ASSERT_FALSE(done);
    EXPECT_EQ(done.error().message, "Lidora couldn't save the logo brightness.");
    EXPECT_EQ(world.trace, Trace{"state"});
}

TEST(StepLogoBrightnessIntent, UsesStandardDefaultsWithoutTheSuite) {
    ControlWorld world;
    world.defaults.suiteOpens = false;
    world.light.states.scripted.emplace_back(LightState::on);
    world.defaults.standardDefaults->values.insert_or_assign(kLevelKey, PreferenceValue(0.0));
    ASSERT_TRUE(world.finish(control::StepLogoBrightnessIntent{}.perform(world.parts)));
    EXPECT_EQ(world.defaults.standardDefaults->number(kLevelKey), 1.0);
    EXPECT_TRUE(world.group().values.empty());
}

}  // namespace
}  // namespace lidora::testing
