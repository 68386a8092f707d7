#pragma once

#include <optional>
#include <string>

#include "core/light/HardwareSupport.h"
#include "core/shell/Seams.h"

namespace lidora {

// The stored mode as far as this hardware offers it: without a lit logo
// only "always" is available.
ClassicLogo::ShowMode effectiveShowMode(std::optional<std::string> stored, HardwareSupport hardware);

}  // namespace lidora
