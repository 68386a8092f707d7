#pragma once

#include <string>

#include "core/brightness/BrightnessTables.h"
#include "platform/corebrightness/LogoState.h"

namespace lidora::vmac {

// Nits with what precision they have, without trailing zeros: 60, 17.5.
std::string formatNits(double nits);
// "(0, 2) (0.25, 20) …"
std::string formatTable(const BrightnessTable& table);
// "lit, 60 nits" or "dark".
std::string logoSummary(const LogoState& logo);

}  // namespace lidora::vmac
