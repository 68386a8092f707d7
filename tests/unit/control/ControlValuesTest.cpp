#include <gtest/gtest.h>

#include <cmath>

#include "core/control/LidoraControlBundle.h"
#include "core/control/LogoBrightnessControl.h"
#include "core/control/LogoLightControl.h"
#include "core/control/StepLogoBrightnessIntent.h"
#include "tests/unit/control/ControlFakes.h"

namespace lidora::testing {
namespace {

using control::LogoBrightnessControl;
using control::LogoLightControl;
using Value = LogoBrightnessControl::Value;

TEST(ControlStep, CyclesThePresetsAndWrapsFromDim) {
    const struct {
        double from;
        double to;
    } cases[] = {
        {1.0, 0.8694216207171603},
        {0.8694216207171603, 0.6922378005816023},
        {0.6922378005816023, 0.0},
        {0.0, 1.0},
        {0.75, 0.6922378005816023},  // between presets: the next one below
        {0.95, 0.8694216207171603},
        {0.2, 0.0},
        {1.7, 0.8694216207171603},  // above the scale counts as full
        {-0.4, 1.0},
        {std::nan(""), 1.0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(control::steppedLevel(c.from), c.to) << "from " << c.from;
    }
}

TEST(ControlTemplates, BrightnessShowsItsLevelWhileLitAndZeroWhileDark) {
    const struct {
        Value value;
        const char* text;
        const char* image;
    } cases[] = {
        {{1.0, true, false}, "100%", "sun.max.fill"},
        {{0.8694216207171603, true, false}, "60%", "sun.max.fill"},
        {{0.6922378005816023, true, false}, "30%", "sun.min.fill"},
        {{0.0, true, false}, "Dim", "sun.min.fill"},
        {{0.75, true, false}, "38%", "sun.min.fill"},
        {{0.6, false, false}, "0%", "sun.min"},
        {{0.0, false, false}, "0%", "sun.min"},
        {{0.6922378005816023, false, true}, "30%", "sun.min.fill"},  // kept dark by On Air: still its level
        {{1.0, std::nullopt, false}, "100%", "sun.max.fill"},        // unknown light: as if lit
    };
    for (const auto& c : cases) {
        const auto shown = LogoBrightnessControl::makeTemplate(c.value);
        EXPECT_EQ(shown.valueText, c.text) << c.value.level;
        EXPECT_EQ(shown.systemImage, c.image) << c.value.level;
        EXPECT_EQ(shown.title, "Logo Brightness");
        EXPECT_EQ(shown.style, ControlTemplate::Style::button);
    }
}

TEST(ControlTemplates, SwitchAndPreviews) {
    EXPECT_EQ(LogoLightControl::makeTemplate(true),
              (ControlTemplate{ControlTemplate::Style::toggle, "Apple Logo Light", "On", "lightbulb.fill", true}));
    EXPECT_EQ(LogoLightControl::makeTemplate(false),
              (ControlTemplate{ControlTemplate::Style::toggle, "Apple Logo Light", "Off", "lightbulb.slash", false}));

    ControlWorld world;
    const control::LidoraControlBundle bundle(world.parts);
    ASSERT_EQ(bundle.body().size(), 2U);
    const auto& light = *bundle.body()[0];
    const auto& brightness = *bundle.body()[1];
    EXPECT_EQ(light.kind(), "com.zelquin.lidora.control.logo-light");
    EXPECT_EQ(light.displayName(), "Apple Logo Light");
    EXPECT_EQ(light.description(), "Turn the illuminated Apple logo on or off.");
    EXPECT_EQ(brightness.kind(), "com.zelquin.lidora.control.logo-brightness");
    EXPECT_EQ(brightness.displayName(), "Logo Brightness");
    EXPECT_EQ(brightness.description(),
              "Step the Apple logo's brightness: 100%, 60%, 30% and Dim. Shows 0% while the logo light is off.");
    EXPECT_EQ(light.preview().valueText, "On");
    EXPECT_EQ(brightness.preview().valueText, "100%");
    EXPECT_EQ(brightness.preview().systemImage, "sun.max.fill");
    EXPECT_TRUE(world.trace.empty()) << "previews ask nobody";
}

class ControlProviders : public ::testing::Test {
protected:
    ControlWorld world;
    control::LidoraControlBundle bundle{world.parts};
    ControlWidget& light() { return *bundle.body()[0]; }
    ControlWidget& brightness() { return *bundle.body()[1]; }
};

TEST_F(ControlProviders, DaemonUnreachableFailsTheSwitchButNotTheBrightness) {
    const HelperError unreachable{"Couldn't reach the Lidora helper: no such service"};
    world.light.states.scripted = {unexpected(unreachable), unexpected(unreachable)};
    world.group().values.insert_or_assign("logoBrightnessLevel", PreferenceValue(0.6922378005816023));

    const auto switchShown = world.finish(light().current());
    ASSERT_FALSE(switchShown);
    EXPECT_EQ(switchShown.error().message, unreachable.message);
    const auto brightnessShown = world.finish(brightness().current());
    ASSERT_TRUE(brightnessShown);
    EXPECT_EQ(brightnessShown->valueText, "30%");
    EXPECT_EQ(brightnessShown->systemImage, "sun.min.fill");
}

TEST_F(ControlProviders, ReadEverythingAfreshEachTime) {
    world.light.states.scripted = {LightState::on, LightState::off, LightState::off};
    control::LogoBrightnessControl::Provider provider(world.parts);

    EXPECT_EQ(world.finish(provider.currentValue()), (Value{1.0, true, false})) << "a missing level is full";
    world.group().values.insert_or_assign("logoBrightnessLevel", PreferenceValue(0.0));
    EXPECT_EQ(world.finish(provider.currentValue()), (Value{0.0, false, false}));
    world.group().values.insert_or_assign("onAirKeepsLogoDark", PreferenceValue(true));
    world.group().values.insert_or_assign("logoBrightnessLevel", PreferenceValue(std::string("high")));
    EXPECT_EQ(world.finish(provider.currentValue()), (Value{1.0, false, true})) << "not a number reads as full";
    EXPECT_EQ(world.trace, (Trace{"state", "state", "state"}));
}

TEST_F(ControlProviders, FallBackToStandardDefaultsWithoutTheSuite) {
    world.defaults.suiteOpens = false;
    world.defaults.standardDefaults->values.insert_or_assign("logoBrightnessLevel", PreferenceValue(0.0));
    world.light.states.scripted = {LightState::on};
    const auto shown = world.finish(brightness().current());
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->valueText, "Dim");
}

}  // namespace
}  // namespace lidora::testing
