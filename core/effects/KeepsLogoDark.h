#pragma once

#include <string_view>

#include "core/ports/ControlCenter.h"
#include "core/ports/UserDefaults.h"

namespace lidora {

inline constexpr std::string_view kOnAirEnabledKey = "onAirEnabled";
inline constexpr std::string_view kOnAirDarkOtherwiseKey = "onAirDarkOtherwise";
inline constexpr std::string_view kOnAirKeepsLogoDarkKey = "onAirKeepsLogoDark";

// Whether On Air keeps the logo dark except while on air.
bool keepsLogoDark(const UserDefaults& standard);

// Mirrors keepsLogoDark() into the shared suite for the Control Center
// extension, writing and reloading its brightness control only on a change.
void publishKeepsLogoDark(const UserDefaults& standard, UserDefaults& group, ControlCenter& controls);

}  // namespace lidora
