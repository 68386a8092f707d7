#include "core/control/LogoLightControl.h"

#include "core/control/SetLogoLightIntent.h"

namespace lidora::control {

Task<Expected<bool, HelperError>> LogoLightControl::Provider::currentValue() {
    const auto state = co_await parts_.light.state();
    if (!state) {
        co_return unexpected(state.error());
    }
    co_return *state == LightState::on;
}

ControlTemplate LogoLightControl::makeTemplate(bool on) {
    return ControlTemplate{.style = ControlTemplate::Style::toggle,
                           .title = std::string(kDisplayName),
                           .valueText = on ? "On" : "Off",
                           .systemImage = on ? "lightbulb.fill" : "lightbulb.slash",
                           .isOn = on};
}

Task<Expected<ControlTemplate, ControlFailure>> LogoLightControl::current() {
    Provider provider(parts_);
    const auto on = co_await provider.currentValue();
    if (!on) {
        co_return unexpected(ControlFailure{on.error().message});
    }
    co_return makeTemplate(*on);
}

Task<Expected<void, ControlFailure>> LogoLightControl::perform(std::optional<bool> value) {
    if (!value) {
        co_return unexpected(ControlFailure{"The switch was given no value."});
    }
    const SetLogoLightIntent intent{.value = *value};
    const auto done = co_await intent.perform(parts_);
    if (!done) {
        co_return unexpected(ControlFailure{done.error().message});
    }
    co_return Expected<void, ControlFailure>{};
}

}  // namespace lidora::control
