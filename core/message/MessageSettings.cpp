#include "core/message/MessageSettings.h"

namespace lidora::MessageSettings {

namespace {

struct SpeedRow {
    Speed speed;
    std::string_view raw;
    std::string_view label;
    double unit;
};

constexpr std::array<SpeedRow, 3> kRows = {{
    {Speed::slow, "slow", "Slow", 0.6},
    {Speed::normal, "normal", "Normal", 0.4},
    {Speed::pro, "pro", "Pro", 0.25},
}};

const SpeedRow& row(Speed speed) {
    for (const auto& entry : kRows) {
        if (entry.speed == speed) {
            return entry;
        }
    }
    return kRows[1];
}

}  // namespace

std::string_view rawValue(Speed speed) {
    return row(speed).raw;
}

std::optional<Speed> speedFromRaw(std::string_view raw) {
    for (const auto& entry : kRows) {
        if (entry.raw == raw) {
            return entry.speed;
        }
    }
    return std::nullopt;
}

std::string_view label(Speed speed) {
    return row(speed).label;
}

double unit(Speed speed) {
    return row(speed).unit;
}

MorseCode::Timing timing(Speed speed) {
    return MorseCode::Timing{unit(speed), 2, 4, 5};
}

Speed speed(const UserDefaults& standard) {
    const auto stored = standard.object(kSpeedKey);
    const std::string* raw = stored ? stored->asString() : nullptr;
    if (raw == nullptr) {
        return Speed::normal;
    }
    return speedFromRaw(*raw).value_or(Speed::normal);
}

bool markers(const UserDefaults& standard) {
    return standard.boolean(kMarkersKey).value_or(true);
}

Expected<void, std::string> setSpeed(UserDefaults& standard, Speed speed) {
    return standard.set(kSpeedKey, PreferenceValue(std::string(rawValue(speed))));
}

Expected<void, std::string> setMarkers(UserDefaults& standard, bool markers) {
    return standard.set(kMarkersKey, PreferenceValue(markers));
}

}  // namespace lidora::MessageSettings
