#include "core/light/Phase.h"

namespace lidora {

std::string_view lightStateName(LightState state) {
    return state == LightState::on ? "on" : "off";
}

std::string Phase::text() const {
    if (const auto* ready = asReady()) {
        return "ready(" + std::string(lightStateName(ready->state)) + ")";
    }
    if (const auto* failed = asFailed()) {
        const std::string last = failed->last ? std::string(lightStateName(*failed->last)) : "none";
        return "failed(" + failed->message + ", last: " + last + ")";
    }
    return isNeedsApproval() ? "needsApproval" : "loading";
}

std::optional<LightState> knownLightState(const Phase& phase) {
    if (const auto* ready = phase.asReady()) {
        return ready->state;
    }
    if (const auto* failed = phase.asFailed()) {
        return failed->last;
    }
    return std::nullopt;
}

}  // namespace lidora
