#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "core/runtime/Expected.h"

namespace lidora {

// The Accessibility API's view of a user interface element (AXUIElement):
// attributes read and written by name, actions performed by name, children.

enum class AXError {
    Success,
    Failure,
    IllegalArgument,
    InvalidUIElement,
    CannotComplete,
    AttributeUnsupported,
    ActionUnsupported,
    APIDisabled,
};

// Booleans for AXEnabled and AXFocused, numbers for sliders and check
// boxes (0 or 1), text for titles and text fields.
using AXValue = std::variant<bool, double, std::string>;

inline constexpr std::string_view kAXRoleAttribute = "AXRole";
inline constexpr std::string_view kAXTitleAttribute = "AXTitle";
inline constexpr std::string_view kAXDescriptionAttribute = "AXDescription";
inline constexpr std::string_view kAXValueAttribute = "AXValue";
inline constexpr std::string_view kAXEnabledAttribute = "AXEnabled";
inline constexpr std::string_view kAXFocusedAttribute = "AXFocused";

inline constexpr std::string_view kAXPressAction = "AXPress";
inline constexpr std::string_view kAXIncrementAction = "AXIncrement";
inline constexpr std::string_view kAXDecrementAction = "AXDecrement";

inline constexpr std::string_view kAXApplicationRole = "AXApplication";
inline constexpr std::string_view kAXWindowRole = "AXWindow";
inline constexpr std::string_view kAXMenuBarRole = "AXMenuBar";
inline constexpr std::string_view kAXMenuBarItemRole = "AXMenuBarItem";
inline constexpr std::string_view kAXButtonRole = "AXButton";
inline constexpr std::string_view kAXCheckBoxRole = "AXCheckBox";
inline constexpr std::string_view kAXRadioButtonRole = "AXRadioButton";
inline constexpr std::string_view kAXTabGroupRole = "AXTabGroup";
inline constexpr std::string_view kAXTextFieldRole = "AXTextField";
inline constexpr std::string_view kAXStaticTextRole = "AXStaticText";
inline constexpr std::string_view kAXSliderRole = "AXSlider";
inline constexpr std::string_view kAXGroupRole = "AXGroup";

class AXUIElement {
public:
    virtual ~AXUIElement() = default;

    // Equal for two references to the same live element, as CFEqual is for
    // AXUIElementRef, so an element can be found again by it.
    [[nodiscard]] virtual std::uint64_t identifier() const = 0;

    [[nodiscard]] virtual Expected<AXValue, AXError> copyAttributeValue(std::string_view attribute) const = 0;
    [[nodiscard]] virtual bool isAttributeSettable(std::string_view attribute) const = 0;
    virtual AXError setAttributeValue(std::string_view attribute, const AXValue& value) = 0;

    [[nodiscard]] virtual std::vector<std::string> copyActionNames() const = 0;
    virtual AXError performAction(std::string_view action) = 0;

    // AXChildren: only elements shown on screen.
    [[nodiscard]] virtual std::vector<std::unique_ptr<AXUIElement>> children() const = 0;
};

}  // namespace lidora
