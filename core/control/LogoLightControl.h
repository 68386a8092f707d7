#pragma once

#include "core/control/ControlParts.h"
#include "core/ports/ControlWidget.h"

namespace lidora::control {

// The Control Center switch for the logo light.
class LogoLightControl final : public ControlWidget {
public:
    static constexpr std::string_view kDisplayName = "Apple Logo Light";
    static constexpr std::string_view kDescription = "Turn the illuminated Apple logo on or off.";

    // The switch's value: whether the light is on.
    class Provider {
    public:
        explicit Provider(ControlParts& parts) : parts_(parts) {}
        [[nodiscard]] static bool previewValue() { return true; }
        // Fails with the daemon's error when the light cannot be read.
        Task<Expected<bool, HelperError>> currentValue();

    private:
        ControlParts& parts_;
    };

    [[nodiscard]] static ControlTemplate makeTemplate(bool on);

    explicit LogoLightControl(ControlParts& parts) : parts_(parts) {}

    [[nodiscard]] std::string_view kind() const override { return kLogoLightControlKind; }
    [[nodiscard]] std::string_view displayName() const override { return kDisplayName; }
    [[nodiscard]] std::string_view description() const override { return kDescription; }
    [[nodiscard]] ControlTemplate::Style style() const override { return ControlTemplate::Style::toggle; }
    [[nodiscard]] ControlTemplate preview() const override { return makeTemplate(Provider::previewValue()); }
    Task<Expected<ControlTemplate, ControlFailure>> current() override;
    Task<Expected<void, ControlFailure>> perform(std::optional<bool> value) override;

private:
    ControlParts& parts_;
};

}  // namespace lidora::control
