#include "core/brightness/BrightnessTables.h"

#include <algorithm>
#include <cmath>

namespace lidora {

std::optional<BrightnessTable> curve(const std::optional<PreferenceValue>& from) {
    if (!from || !from->isArray()) {
        return std::nullopt;
    }
    BrightnessTable table;
    table.reserve(from->asArray()->size());
    for (const PreferenceValue& point : *from->asArray()) {
        const PreferenceArray* numbers = point.asArray();
        if (numbers == nullptr || numbers->size() != 2) {
            return std::nullopt;
        }
        BrightnessPoint values;
        for (const PreferenceValue& number : *numbers) {
            // Booleans and strings are not numbers of a table.
            if (!number.isDouble() && !number.isInteger()) {
                return std::nullopt;
            }
            values.push_back(*number.asDouble());
        }
        table.push_back(std::move(values));
    }
    return table;
}

PreferenceValue preferenceValue(const BrightnessTable& table) {
    PreferenceArray points;
    points.reserve(table.size());
    for (const BrightnessPoint& point : table) {
        PreferenceArray numbers(point.begin(), point.end());
        points.emplace_back(std::move(numbers));
    }
    return PreferenceValue(std::move(points));
}

BrightnessTable scaled(const BrightnessTable& table, double factor) {
    BrightnessTable out;
    out.reserve(table.size());
    for (const BrightnessPoint& point : table) {
        if (point.size() == 2) {
            out.push_back({point[0], std::min(point[1] * factor, kMaxScaledNits)});
        } else {
            out.push_back(point);
        }
    }
    return out;
}

bool approximatelyEqual(const std::optional<BrightnessTable>& a, const std::optional<BrightnessTable>& b) {
    if (!a || !b || a->size() != b->size()) {
        return false;
    }
    for (std::size_t i = 0; i < a->size(); ++i) {
        const BrightnessPoint& p = (*a)[i];
        const BrightnessPoint& q = (*b)[i];
        if (p.size() != q.size()) {
            return false;
        }
        for (std::size_t j = 0; j < p.size(); ++j) {
            const double tolerance = std::max(std::abs(p[j]), std::abs(q[j])) * 0.00001 + 0.000001;
            // Written so that NaN never compares equal.
            if (!(std::abs(p[j] - q[j]) <= tolerance)) {
                return false;
            }
        }
    }
    return true;
}

}  // namespace lidora
