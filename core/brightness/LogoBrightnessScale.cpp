#include "brightness/LogoBrightnessScale.h"

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

double brighterPresetFactor(double level) {
    const double g = factorForLevel(level) * (1.0 + kPresetMargin);
    if (g < 0.02) {
        return 0.02;
    }
    if (g < 0.3) {
        return 0.3;
    }
    if (g < 0.6) {
        return 0.6;
    }
    return 1.0;
}

double dimmerPresetFactor(double level) {
    const double g = factorForLevel(level) * (1.0 - kPresetMargin);
    if (g > 1.0) {
        return 1.0;
    }
    if (g > 0.6) {
        return 0.6;
    }
    if (g > 0.3) {
        return 0.3;
    }
    return 0.02;
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
