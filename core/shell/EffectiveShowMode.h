#pragma once

#include <optional>
#include <string>

#include "light/HardwareSupport.h"
#include "shell/Seams.h"

namespace lidora {

// The stored mode as far as this hardware offers it: without a lit logo
// only "always" is available.
ClassicLogo::ShowMode effectiveShowMode(std::optional<std::string> stored, HardwareSupport hardware);

}  // namespace lidora
