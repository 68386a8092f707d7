#include "core/control/LogoBrightnessControl.h"

#include "core/brightness/LogoBrightnessController.h"
#include "core/brightness/LogoBrightnessScale.h"
#include "core/control/StepLogoBrightnessIntent.h"
#include "core/effects/KeepsLogoDark.h"

namespace lidora::control {

Task<LogoBrightnessControl::Value> LogoBrightnessControl::Provider::currentValue() {
    Value value;
    if (const auto state = co_await parts_.light.state()) {
        value.lightOn = *state == LightState::on;
    }
    // Opened afresh for each read: another process may have written since.
    value.level = LogoBrightnessController::storedLevel(*suiteOrStandard(parts_.defaults, kAppGroupSuite));
    value.onAirKeepsDark =
        suiteOrStandard(parts_.defaults, kAppGroupSuite)->boolean(kOnAirKeepsLogoDarkKey).value_or(false);
    co_return value;
}

std::string LogoBrightnessControl::valueText(const Value& value) {
    return value.isLit() ? levelText(value.level) : "0%";
}

std::string LogoBrightnessControl::systemImage(const Value& value) {
    if (!value.isLit()) {
        return "sun.min";
    }
    return value.level >= preset(LogoBrightnessChoice::sixty).level ? "sun.max.fill" : "sun.min.fill";
}

ControlTemplate LogoBrightnessControl::makeTemplate(const Value& value) {
    return ControlTemplate{.style = ControlTemplate::Style::button,
                           .title = std::string(kDisplayName),
                           .valueText = valueText(value),
                           .systemImage = systemImage(value),
                           .isOn = false};
}

Task<Expected<ControlTemplate, ControlFailure>> LogoBrightnessControl::current() {
    Provider provider(parts_);
    const Value value = co_await provider.currentValue();
    co_return makeTemplate(value);
}

Task<Expected<void, ControlFailure>> LogoBrightnessControl::perform(std::optional<bool> /*value*/) {
    const StepLogoBrightnessIntent intent;
    const auto done = co_await intent.perform(parts_);
    if (!done) {
        co_return unexpected(ControlFailure{done.error().message});
    }
    co_return Expected<void, ControlFailure>{};
}

}  // namespace lidora::control
