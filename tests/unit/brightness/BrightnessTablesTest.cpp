#include <gtest/gtest.h>

#include <cmath>

#include "brightness/BrightnessTables.h"

namespace lidora {
namespace {

TEST(BrightnessTablesTest, ScalingCapsEveryPairAndCopiesOtherPoints) {
    const BrightnessTable table{{0.5, 400}, {0.5, 200}, {1, 2, 3}};
    EXPECT_EQ(scaled(table, 3.5), (BrightnessTable{{0.5, 1000}, {0.5, 700}, {1, 2, 3}}));
    // The cap holds below factor 1 too.
    EXPECT_EQ(scaled({{0, 5000}}, 0.5), (BrightnessTable{{0, 1000}}));
}

TEST(BrightnessTablesTest, ApproximateEqualityUsesRelativeAndAbsoluteTolerance) {
    EXPECT_TRUE(approximatelyEqual(BrightnessTable{{0, 100.0}}, BrightnessTable{{0, 100.0005}}));
    EXPECT_FALSE(approximatelyEqual(BrightnessTable{{0, 0.0}}, BrightnessTable{{0, 0.000002}}));
    EXPECT_TRUE(approximatelyEqual(BrightnessTable{}, BrightnessTable{}));
    EXPECT_FALSE(approximatelyEqual(std::nullopt, BrightnessTable{}));
    EXPECT_FALSE(approximatelyEqual(std::nullopt, std::nullopt));
    EXPECT_FALSE(approximatelyEqual(BrightnessTable{{0, 1}}, BrightnessTable{{0, 1}, {1, 2}}));
    EXPECT_FALSE(approximatelyEqual(BrightnessTable{{0, 1}}, BrightnessTable{{0, 1, 2}}));
    EXPECT_FALSE(approximatelyEqual(BrightnessTable{{0, std::nan("")}}, BrightnessTable{{0, std::nan("")}}));
}

TEST(BrightnessTablesTest, CurveAcceptsOnlyArraysOfNumberPairs) {
    const auto pair = [](PreferenceValue a, PreferenceValue b) { return PreferenceValue(PreferenceArray{a, b}); };
    EXPECT_EQ(curve(PreferenceValue(PreferenceArray{pair(1, 2.5), pair(0.25, 3)})),
              (BrightnessTable{{1, 2.5}, {0.25, 3}}));
    EXPECT_EQ(curve(PreferenceValue(PreferenceArray{})), BrightnessTable{});
    EXPECT_EQ(curve(PreferenceValue(PreferenceArray{pair(1, 2), PreferenceArray{3}})), std::nullopt);
    EXPECT_EQ(curve(PreferenceValue(PreferenceArray{pair(1, "2")})), std::nullopt);
    EXPECT_EQ(curve(PreferenceValue(PreferenceArray{PreferenceValue(7)})), std::nullopt);
    EXPECT_EQ(curve(PreferenceValue("table")), std::nullopt);
    EXPECT_EQ(curve(std::nullopt), std::nullopt);
    // What is written reads back the same.
    const BrightnessTable table{{0, 1.5}, {2, 3}};
    EXPECT_EQ(curve(preferenceValue(table)), table);
}

}  // namespace
}  // namespace lidora
