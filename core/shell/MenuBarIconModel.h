#pragma once

#include <optional>
#include <string_view>

#include "core/helper/LightState.h"

namespace lidora {

inline constexpr std::string_view kMenuBarIconDescription = "Apple Logo Light";
inline constexpr double kMenuBarIconPointSize = 14;

// How the menu-bar item draws the light's state.
struct MenuBarIconAppearance {
    std::string_view symbol;
    // A template image is tinted by the menu bar; a coloured one draws the
    // symbol in the system yellow and a second colour that follows the
    // appearance: white on dark, black otherwise.
    bool isTemplate = true;
    friend bool operator==(const MenuBarIconAppearance&, const MenuBarIconAppearance&) = default;
};

MenuBarIconAppearance menuBarIconAppearance(std::optional<LightState> state, bool colored);

}  // namespace lidora
