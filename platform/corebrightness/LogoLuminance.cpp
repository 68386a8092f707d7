#include "corebrightness/LogoLuminance.h"

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
    if (input <= points.front()[0]) {
        return points.front()[1];
    }
    for (std::size_t i = 1; i < points.size(); ++i) {
        const auto& low = points[i - 1];
        const auto& high = points[i];
        if (input <= high[0]) {
            const double span = high[0] - low[0];
            // Two points at one input: the later one holds from there on.
            return span > 0.0 ? low[1] + (high[1] - low[1]) * (input - low[0]) / span : high[1];
        }
    }
    return points.back()[1];
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
