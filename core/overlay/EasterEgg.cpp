#include "core/overlay/EasterEgg.h"

namespace lidora {

EasterEgg::ShowMode EasterEgg::storedShowMode(const UserDefaults& defaults) {
    return defaults.string(kClassicLogoShowModeKey) == "always" ? ShowMode::always : ShowMode::withLight;
}

EasterEgg::ShowMode EasterEgg::effectiveShowMode(ShowMode mode, HardwareSupport hardware) {
    if (hardware == HardwareSupport::unsupported) {
        return ShowMode::always;
    }
    return mode;
}

std::string_view EasterEgg::name(ShowMode mode) {
    return mode == ShowMode::always ? "always" : "withLight";
}

}  // namespace lidora
