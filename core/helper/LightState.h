#pragma once

#include <cstdint>
#include <optional>

namespace lidora {

// The logo light; on the wire a signed 64-bit integer.
enum class LightState : std::int64_t { off = 0, on = 1 };

inline std::optional<LightState> lightStateFromWire(std::int64_t value) {
    if (value == 0) {
        return LightState::off;
    }
    if (value == 1) {
        return LightState::on;
    }
    return std::nullopt;
}

}  // namespace lidora
