#include "core/control/LidoraControlBundle.h"

#include "core/control/LogoBrightnessControl.h"
#include "core/control/LogoLightControl.h"

namespace lidora::control {

LidoraControlBundle::LidoraControlBundle(ControlParts& parts) {
    body_.push_back(std::make_unique<LogoLightControl>(parts));
    body_.push_back(std::make_unique<LogoBrightnessControl>(parts));
}

}  // namespace lidora::control
