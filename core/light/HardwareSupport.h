#pragma once

#include <string>
#include <string_view>

#include "core/ports/SystemInfo.h"

namespace lidora {

// Whether this Mac's lid logo can light up, judged from its model identifier.
enum class HardwareSupport { supported, unsupported, unknown };

// Why nothing can be done on an unsupported Mac.
inline constexpr std::string_view kUnsupportedText = "This Mac doesn't have an illuminated logo.";

std::string_view hardwareSupportName(HardwareSupport support);

// "hw.model", e.g. "Mac17,10"; empty when the system won't say.
std::string readModelIdentifier(const SystemControl& control);

// Exact and case-sensitive. Models we have not heard of stay unknown rather
// than unsupported, so a new machine is not locked out.
HardwareSupport classifyModel(std::string_view modelIdentifier);

}  // namespace lidora
