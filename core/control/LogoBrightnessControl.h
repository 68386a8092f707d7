#pragma once

#include <optional>
#include <string>

#include "core/control/ControlParts.h"
#include "core/ports/ControlWidget.h"

namespace lidora::control {

// The Control Center button that steps the logo's brightness.
class LogoBrightnessControl final : public ControlWidget {
public:
    static constexpr std::string_view kDisplayName = "Logo Brightness";
    static constexpr std::string_view kDescription =
        "Step the Apple logo's brightness: 100%, 60%, 30% and Dim. Shows 0% while the logo light is off.";

    struct Value {
        double level = 1.0;           // the stored level, 0 to 1
        std::optional<bool> lightOn;  // absent when the light could not be read
        bool onAirKeepsDark = false;  // On Air keeps the logo dark until a call
        // Shown at its level: on, unknown, or dark only for the moment.
        [[nodiscard]] bool isLit() const { return lightOn.value_or(true) || onAirKeepsDark; }
        friend bool operator==(const Value&, const Value&) = default;
    };

    class Provider {
    public:
        explicit Provider(ControlParts& parts) : parts_(parts) {}
        [[nodiscard]] static Value previewValue() {
            return Value{.level = 1.0, .lightOn = true, .onAirKeepsDark = false};
        }
        // Never fails: a light that cannot be read is left unknown.
        Task<Value> currentValue();

    private:
        ControlParts& parts_;
    };

    [[nodiscard]] static std::string valueText(const Value& value);
    [[nodiscard]] static std::string systemImage(const Value& value);
    [[nodiscard]] static ControlTemplate makeTemplate(const Value& value);

    explicit LogoBrightnessControl(ControlParts& parts) : parts_(parts) {}

    [[nodiscard]] std::string_view kind() const override { return kLogoBrightnessControlKind; }
    [[nodiscard]] std::string_view displayName() const override { return kDisplayName; }
    [[nodiscard]] std::string_view description() const override { return kDescription; }
    [[nodiscard]] ControlTemplate::Style style() const override { return ControlTemplate::Style::button; }
    [[nodiscard]] ControlTemplate preview() const override { return makeTemplate(Provider::previewValue()); }
    Task<Expected<ControlTemplate, ControlFailure>> current() override;
    Task<Expected<void, ControlFailure>> perform(std::optional<bool> value) override;

private:
    ControlParts& parts_;
};

}  // namespace lidora::control
