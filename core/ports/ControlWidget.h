#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/runtime/Expected.h"
#include "core/runtime/Task.h"

namespace lidora {

// What Control Center draws for a control: WidgetKit's toggle and button
// templates, with the label's title, value text and system image.
struct ControlTemplate {
    enum class Style { toggle, button };
    Style style = Style::button;
    std::string title;
    std::string valueText;
    std::string systemImage;
    bool isOn = false;  // toggles only
    friend bool operator==(const ControlTemplate&, const ControlTemplate&) = default;
};

// A failed value or action, as Control Center shows it: its text.
struct ControlFailure {
    std::string message;
    friend bool operator==(const ControlFailure&, const ControlFailure&) = default;
};

// One control of a widget bundle, as the system drives it: a static control
// configuration with its value provider and its action.
class ControlWidget {
public:
    virtual ~ControlWidget() = default;

    [[nodiscard]] virtual std::string_view kind() const = 0;
    [[nodiscard]] virtual std::string_view displayName() const = 0;
    [[nodiscard]] virtual std::string_view description() const = 0;
    [[nodiscard]] virtual ControlTemplate::Style style() const = 0;

    // The template over the provider's previewValue.
    [[nodiscard]] virtual ControlTemplate preview() const = 0;
    // The template over the provider's currentValue, or its failure.
    virtual Task<Expected<ControlTemplate, ControlFailure>> current() = 0;
    // The control's intent: a toggle is given the value the user set it to,
    // a button nothing.
    virtual Task<Expected<void, ControlFailure>> perform(std::optional<bool> value) = 0;
};

}  // namespace lidora
