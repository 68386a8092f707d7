#include "core/brightness/LogoBrightnessScale.h"

#include <algorithm>
#include <cmath>

namespace lidora {

namespace {

constexpr double kPresetMargin = 0.02;
constexpr double kTextTolerance = 0.005;

}  // namespace

const LogoBrightnessPreset& preset(LogoBrightnessChoice choice) {
    return kLogoBrightnessPresets.at(static_cast<std::size_t>(choice));
}

double factorForLevel(double level) {
    if (!(level > 0.0)) {
        return kMinLogoBrightnessFactor;
    }
    return std::pow(kMinLogoBrightnessFactor, 1.0 - std::min(level, 1.0));
}

double levelForFactor(double factor) {
    if (!(factor > 0.0)) {
        return 0.0;
    }
    return std::clamp(std::log(factor) / kLogoBrightnessLogRange + 1.0, 0.0, 1.0);
}

// The preset table runs from the brightest down.
double brighterPresetFactor(double level) {
    const double g = factorForLevel(level) * (1.0 + kPresetMargin);
    const auto next = std::find_if(kLogoBrightnessPresets.rbegin(), kLogoBrightnessPresets.rend(),
                                   [g](const LogoBrightnessPreset& p) { return g < p.factor; });
    return next != kLogoBrightnessPresets.rend() ? next->factor : kLogoBrightnessPresets.front().factor;
}

double dimmerPresetFactor(double level) {
    const double g = factorForLevel(level) * (1.0 - kPresetMargin);
    const auto next = std::find_if(kLogoBrightnessPresets.begin(), kLogoBrightnessPresets.end(),
                                   [g](const LogoBrightnessPreset& p) { return g > p.factor; });
    return next != kLogoBrightnessPresets.end() ? next->factor : kLogoBrightnessPresets.back().factor;
}

std::string levelText(double level) {
    for (const LogoBrightnessPreset& p : kLogoBrightnessPresets) {
        if (std::abs(p.level - level) < kTextTolerance) {
            return std::string(p.text);
        }
    }
    const double n = std::round(factorForLevel(level) * 100.0);
    if (n >= 3.0) {
        return std::to_string(static_cast<long>(n)) + "%";
    }
    return "Dim";
}

}  // namespace lidora
