#pragma once

#include <string_view>

namespace lidora {

// WidgetKit's ControlCenter: asks the system to reload the controls of a kind.
class ControlCenter {
public:
    virtual ~ControlCenter() = default;
    virtual void reloadControls(std::string_view kind) = 0;
};

inline constexpr std::string_view kLogoLightControlKind = "com.zelquin.lidora.control.logo-light";
inline constexpr std::string_view kLogoBrightnessControlKind = "com.zelquin.lidora.control.logo-brightness";

}  // namespace lidora
