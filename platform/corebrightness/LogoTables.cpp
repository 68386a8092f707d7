#include "platform/corebrightness/LogoTables.h"

#include <cmath>

namespace lidora::vmac {

bool isLogoTableKey(std::string_view key) {
    return key == kBrightnessCurveKey || key == kBrightnessFloorKey;
}

Expected<BrightnessTable, std::string> validateLogoTable(const PreferenceValue& value) {
    const auto* points = value.asArray();
    if (points == nullptr) {
        return unexpected(std::string("a table is an array of points"));
    }
    if (points->empty() || points->size() > kMaxLogoTablePoints) {
        return unexpected("a table has 1 to " + std::to_string(kMaxLogoTablePoints) + " points");
    }
    BrightnessTable table;
    table.reserve(points->size());
    for (const auto& point : *points) {
        const auto* pair = point.asArray();
        if (pair == nullptr || pair->size() != 2) {
            return unexpected(std::string("every point is a pair of numbers"));
        }
        BrightnessPoint numbers;
        for (const auto& number : *pair) {
            if (!number.isDouble() && !number.isInteger()) {
                return unexpected(std::string("every point is a pair of numbers"));
            }
            const double x = *number.asDouble();
            if (!std::isfinite(x)) {
                return unexpected(std::string("a table holds a number that is not finite"));
            }
            numbers.push_back(x);
        }
        table.push_back(std::move(numbers));
    }
    return table;
}

BrightnessTables factoryLogoTables() {
    return BrightnessTables{
        {{0.0, 2.0}, {0.25, 20.0}, {0.5, 60.0}, {0.75, 130.0}, {1.0, 250.0}},
        {{0.0, 1.0}, {50.0, 5.0}, {200.0, 15.0}, {1000.0, 40.0}, {10000.0, 80.0}},
    };
}

bool backlightOn(const std::optional<PreferenceValue>& mode) {
    if (!mode) {
        return true;
    }
    // Written as text it still reads as 0, as `defaults read` shows it.
    if (const auto* text = mode->asString()) {
        return *text != "0";
    }
    const auto number = mode->asDouble();
    return !(number && *number == 0.0);
}

}  // namespace lidora::vmac
