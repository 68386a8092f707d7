#include <gtest/gtest.h>

#include <cmath>

#include "core/brightness/BrightnessTables.h"

namespace lidora {
namespace {

TEST(BrightnessTablesTest, ScalingCapsEveryPairAndCopiesOtherPoints) {
    const BrightnessTable table{{0.5, 400}, {0.5, 200}, {1, 2, 3}};
    EXPECT_EQ(scaled(table, 3.5), (BrightnessTable{{0.5, 1000}, {0.5, 700}, {1, 2, 3}}));
    EXPECT_EQ(scaled({{0, 5000}}, 0.5), (BrightnessTable{{0, 1000}}));
}

TEST(BrightnessTablesTest, ApproximateEqualityToleratesRoundingButNotMissingShapeOrNaN) {
    EXPECT_TRUE(approximatelyEqual(BrightnessTable{{0, 100.0}}, BrightnessTable{{0, 100.0005}}));
    EXPECT_FALSE(approximatelyEqual(BrightnessTable{{0, 0.0}}, BrightnessTable{{0, 0.000002}}));
    EXPECT_FALSE(approximatelyEqual(std::nullopt, std::nullopt));
    EXPECT_FALSE(approximatelyEqual(BrightnessTable{{0, 1}}, BrightnessTable{{0, 1}, {1, 2}}));
    EXPECT_FALSE(approximatelyEqual(BrightnessTable{{0, 1}}, BrightnessTable{{0, 1, 2}}));
    EXPECT_FALSE(approximatelyEqual(BrightnessTable{{0, std::nan("")}}, BrightnessTable{{0, std::nan("")}}));
}

TEST(BrightnessTablesTest, CurveReadsBackWhatIsWrittenAndRefusesAnythingButNumberPairs) {
    const BrightnessTable table{{0, 1.5}, {2, 3}};
    EXPECT_EQ(curve(preferenceValue(table)), table);
    const auto pair = [](PreferenceValue a, PreferenceValue b) { return PreferenceValue(PreferenceArray{a, b}); };
    for (const auto& bad : {PreferenceValue(PreferenceArray{pair(1, 2), PreferenceArray{3}}),
                            PreferenceValue(PreferenceArray{pair(1, "2")}),
                            PreferenceValue(PreferenceArray{PreferenceValue(7)}), PreferenceValue("table")}) {
        EXPECT_EQ(curve(bad), std::nullopt);
    }
    EXPECT_EQ(curve(std::nullopt), std::nullopt);
}

}  // namespace
}  // namespace lidora
