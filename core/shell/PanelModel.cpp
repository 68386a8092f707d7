#include "core/shell/PanelModel.h"

#include <algorithm>
#include <cmath>

namespace lidora {

namespace {

constexpr double kSliderStep = 0.1;

}  // namespace

bool canToggle(const PanelInputs& inputs) {
    if (inputs.busy || inputs.serviceStatus != HelperStatus::enabled ||
        inputs.hardware == HardwareSupport::unsupported) {
        return false;
    }
    if (inputs.phase.asReady() != nullptr) {
        return true;
    }
    const auto* failed = inputs.phase.asFailed();
    return failed != nullptr && failed->last.has_value();
}

PanelState panelState(const PanelInputs& inputs) {
    PanelState state;
    const auto light = knownLightState(inputs.phase);
    const bool lightOn = light == LightState::on;
    const bool unsupported = inputs.hardware == HardwareSupport::unsupported;

    state.switchOn = lightOn;
    state.switchEnabled = canToggle(inputs) && !inputs.keepsLogoDark;
    state.showKeepDarkNote = inputs.keepsLogoDark;
    state.showBrightnessCard = inputs.brightnessAvailable && lightOn && !unsupported;
    state.showSendMessage = !unsupported;
    state.showUpdateAvailable = inputs.updatePending;

    if (unsupported) {
        state.status = PanelState::Unsupported{};
        return state;
    }
    if (const auto* failed = inputs.phase.asFailed()) {
        state.status = PanelState::Failed{failed->message,
                                          !inputs.hasInstallProblem && inputs.serviceStatus == HelperStatus::enabled};
    } else if (inputs.phase.isNeedsApproval()) {
        state.status = PanelState::NeedsApproval{inputs.serviceStatus == HelperStatus::notRegistered ||
                                                 inputs.serviceStatus == HelperStatus::notFound};
    } else if (inputs.phase.isLoading()) {
        state.status = PanelState::Loading{};
    } else {
        state.status = PanelState::NoStatus{};
    }
    state.showMayBeUnsupported = inputs.hardware == HardwareSupport::unknown;
    return state;
}

double sliderValueAt(double x, double width) {
    if (!(width > 0) || std::isnan(x)) {
        return 0;
    }
    return std::clamp(x / width, 0.0, 1.0);
}

double steppedSliderValue(double value, int steps) {
    const double start = std::isnan(value) ? 0.0 : value;
    return std::clamp(start + kSliderStep * steps, 0.0, 1.0);
}

}  // namespace lidora
