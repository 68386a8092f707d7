#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "platform/corebrightness/LogoLuminance.h"
#include "platform/corebrightness/LogoTables.h"

namespace lidora::vmac {
namespace {

TEST(LogoLuminanceTest, InterpolatesBetweenPointsAndHoldsBeyondTheEnds) {
    const BrightnessTable table{{1.0, 100.0}, {0.0, 0.0}, {0.5, 20.0}};  // listed out of order
    for (const auto& [input, nits] : std::vector<std::pair<double, double>>{
             {-1.0, 0.0}, {0.0, 0.0}, {0.25, 10.0}, {0.5, 20.0}, {0.75, 60.0}, {1.0, 100.0}, {7.0, 100.0}}) {
        EXPECT_DOUBLE_EQ(interpolate(table, input), nits) << input;
    }
    EXPECT_EQ(interpolate({}, 0.5), 0.0);
    EXPECT_EQ(interpolate({{0.3, 42.0}}, 0.9), 42.0);
    // A step: two points at one input, the later one holds from there on.
    EXPECT_EQ(interpolate({{0.0, 1.0}, {0.5, 2.0}, {0.5, 8.0}, {1.0, 8.0}}, 0.5), 8.0);
}

TEST(LogoLuminanceTest, DarkWhenOffElseCurveNeverBelowFloor) {
    const BrightnessTables tables{{{0.0, 0.0}, {1.0, 100.0}}, {{0.0, 5.0}, {1000.0, 40.0}}};
    for (const auto& [on, brightness, lux, nits] :
         std::vector<std::tuple<bool, double, double, double>>{{true, 0.5, 0.0, 50.0},     // the curve
                                                               {true, 0.02, 0.0, 5.0},     // the floor at dark
                                                               {true, 0.2, 1000.0, 40.0},  // the floor in bright light
                                                               {true, 0.9, 1000.0,
                                                                90.0},  // the curve above a bright floor
                                                               {false, 0.9, 1000.0, 0.0}})  // light off
    {
        EXPECT_DOUBLE_EQ(logoLuminance({on, tables, brightness, lux}), nits) << on << ' ' << brightness << ' ' << lux;
    }
    EXPECT_EQ(logoLuminance({true, {{{0.0, -5.0}}, {{0.0, -1.0}}}, 0.5, 0.0}), 0.0);
}

TEST(LogoLuminanceTest, FactoryTablesLightAFreshMacAtSixtyNits) {
    const auto factory = factoryLogoTables();
    EXPECT_TRUE(validateLogoTable(preferenceValue(factory.curve)));
    EXPECT_TRUE(validateLogoTable(preferenceValue(factory.floor)));
    EXPECT_DOUBLE_EQ(logoLuminance({true, factory, 0.5, 200.0}), 60.0);
}

TEST(LogoLuminanceTest, BacklightModeZeroIsDarkAndAnythingElseLit) {
    for (const auto& [mode, on] :
         std::vector<std::pair<std::optional<PreferenceValue>, bool>>{{std::nullopt, true},
                                                                      {PreferenceValue(0), false},
                                                                      {PreferenceValue(0.0), false},
                                                                      {PreferenceValue(1), true},
                                                                      {PreferenceValue("0"), false},
                                                                      {PreferenceValue("dark"), true}}) {
        EXPECT_EQ(backlightOn(mode), on);
    }
}

}  // namespace
}  // namespace lidora::vmac
