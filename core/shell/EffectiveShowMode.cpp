#include "core/shell/EffectiveShowMode.h"

namespace lidora {

ClassicLogo::ShowMode effectiveShowMode(std::optional<std::string> stored, HardwareSupport hardware) {
    if (hardware == HardwareSupport::unsupported) {
        return ClassicLogo::ShowMode::always;
    }
    return stored == "always" ? ClassicLogo::ShowMode::always : ClassicLogo::ShowMode::withLight;
}

}  // namespace lidora
