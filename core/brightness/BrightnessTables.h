#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "core/prefs/PreferenceValue.h"

namespace lidora {

// One point is (input, nits); points of other lengths are carried along
// untouched so that an unexpected table shape is never silently rewritten.
using BrightnessPoint = std::vector<double>;
using BrightnessTable = std::vector<BrightnessPoint>;

// The two logo tables CoreBrightness keeps per machine.
struct BrightnessTables {
    BrightnessTable curve;  // LEPWMBrightnessNitsMapping
    BrightnessTable floor;  // LEPWMLuxToMinNitsRestrictionMapping

    friend bool operator==(const BrightnessTables&, const BrightnessTables&) = default;
};

inline constexpr std::string_view kBrightnessCurveKey = "LEPWMBrightnessNitsMapping";
inline constexpr std::string_view kBrightnessFloorKey = "LEPWMLuxToMinNitsRestrictionMapping";

// Nits no scaled point may exceed, whatever the factor.
inline constexpr double kMaxScaledNits = 1000.0;

// A table from an array of number pairs; absent for anything else, so a
// malformed table is never used in part. An empty array is an empty table.
std::optional<BrightnessTable> curve(const std::optional<PreferenceValue>& from);

// The table as it travels to the framework and to user defaults.
PreferenceValue preferenceValue(const BrightnessTable& table);

// Pairs get their nits multiplied (capped); other points are copied.
BrightnessTable scaled(const BrightnessTable& table, double factor);

// Equal within a relative tolerance of 1e-5 plus 1e-6; false if either is absent.
bool approximatelyEqual(const std::optional<BrightnessTable>& a, const std::optional<BrightnessTable>& b);

}  // namespace lidora
