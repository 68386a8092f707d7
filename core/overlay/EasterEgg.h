#pragma once

#include <string_view>

#include "core/light/HardwareSupport.h"
#include "core/ports/UserDefaults.h"

namespace lidora {

inline constexpr std::string_view kClassicLogoShowModeKey = "classicLogoShowMode";

// The classic logo's rules that do not depend on the screen.
struct EasterEgg {
    // When the classic logo shows; stored by case name.
    enum class ShowMode { withLight, always };

    // "always" reads as always; a missing key or anything else as withLight.
    static ShowMode storedShowMode(const UserDefaults& defaults);
    // Without a lit logo only always is available; a mode that is not
    // available becomes always.
    static ShowMode effectiveShowMode(ShowMode mode, HardwareSupport hardware);
    static std::string_view name(ShowMode mode);
};

}  // namespace lidora
