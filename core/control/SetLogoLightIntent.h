#pragma once

#include <string_view>

#include "core/control/ControlParts.h"

namespace lidora::control {

inline constexpr std::string_view kCouldNotChangeLight =
    "Lidora couldn't change the logo light. Open Lidora to finish setup.";

// The light switch's action: switches the light through the daemon, also
// while the app is not running.
struct SetLogoLightIntent {
    static constexpr std::string_view kTitle = "Set Apple Logo Light";
    static constexpr std::string_view kValueTitle = "On";

    bool value = false;

    // On failure the app is opened and activated, where the user can finish
    // setting up the helper; the daemon's own error is not shown.
    [[nodiscard]] Task<Expected<void, HelperError>> perform(ControlParts& parts) const;
};

}  // namespace lidora::control
