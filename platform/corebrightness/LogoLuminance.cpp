#include "platform/corebrightness/LogoLuminance.h"

#include <algorithm>

namespace lidora::vmac {

double interpolate(const BrightnessTable& table, double input) {
    BrightnessTable points;
    for (const auto& point : table) {
        if (point.size() == 2) {
            points.push_back(point);
        }
    }
    if (points.empty()) {
        return 0.0;
    }
    std::stable_sort(points.begin(), points.end(), [](const auto& a, const auto& b) { return a[0] < b[0]; });
    if (input < points.front()[0]) {
        return points.front()[1];
    }
    // The first point past the input; the one before it is the last point
    // at or below it, so that of two points at one input the later holds.
    const auto high = std::upper_bound(points.begin(), points.end(), input,
                                       [](double x, const BrightnessPoint& point) { return x < point[0]; });
    if (high == points.end()) {
        return points.back()[1];
    }
    const auto& low = *(high - 1);
    return low[1] + ((*high)[1] - low[1]) * (input - low[0]) / ((*high)[0] - low[0]);
}

double logoLuminance(const LogoInputs& inputs) {
    if (!inputs.backlightOn) {
        return 0.0;
    }
    const double nits = std::max(interpolate(inputs.tables.curve, inputs.displayBrightness),
                                 interpolate(inputs.tables.floor, inputs.ambientLux));
    return std::max(nits, 0.0);
}

}  // namespace lidora::vmac
