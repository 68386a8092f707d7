#pragma once

#include <array>
#include <string>
#include <string_view>

namespace lidora {

// The level (0 to 1) is what the user sees; it is perceptual, so the factor
// applied to the tables' nits is exponential in it: 0.02^(1 - level).
inline constexpr double kMinLogoBrightnessFactor = 0.02;
inline constexpr double kLogoBrightnessLogRange = 3.912023005428146;  // -ln 0.02

enum class LogoBrightnessChoice { full, sixty, thirty, dim };

struct LogoBrightnessPreset {
    LogoBrightnessChoice choice;
    double factor;
    double level;
    std::string_view text;
};

// Brightest first.
inline constexpr std::array<LogoBrightnessPreset, 4> kLogoBrightnessPresets{{
    {LogoBrightnessChoice::full, 1.0, 1.0, "100%"},
    {LogoBrightnessChoice::sixty, 0.6, 0.8694216207171603, "60%"},
    {LogoBrightnessChoice::thirty, 0.3, 0.6922378005816023, "30%"},
    {LogoBrightnessChoice::dim, kMinLogoBrightnessFactor, 0.0, "Dim"},
}};

[[nodiscard]] const LogoBrightnessPreset& preset(LogoBrightnessChoice choice);

// Levels above 1 count as 1; levels at or below 0, and NaN, as 0.
[[nodiscard]] double factorForLevel(double level);
// The inverse, kept within 0..1 so a stored level is always a usable one.
[[nodiscard]] double levelForFactor(double factor);

// The factor of the next preset up or down from a level; a level sitting on
// a preset moves on to the next one.
[[nodiscard]] double brighterPresetFactor(double level);
[[nodiscard]] double dimmerPresetFactor(double level);

// "100%", "60%", "30%", "Dim" near a preset, else the rounded percentage of
// the factor ("Dim" below 3 %).
[[nodiscard]] std::string levelText(double level);

}  // namespace lidora
