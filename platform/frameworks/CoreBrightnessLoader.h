#pragma once

#include <string_view>

#include "core/brightness/CoreBrightnessBackend.h"
#include "platform/vmac/VmacPaths.h"

namespace lidora::vmac {

inline constexpr std::string_view kCoreBrightnessFrameworkPath =
    "/System/Library/PrivateFrameworks/CoreBrightness.framework/CoreBrightness";
inline constexpr std::string_view kDisplayServicesFrameworkPath =
    "/System/Library/PrivateFrameworks/DisplayServices.framework/DisplayServices";
inline constexpr std::string_view kBrightnessSystemClientClass = "BrightnessSystemClient";

// Opens CoreBrightness and DisplayServices from their macOS paths under the
// virtual Mac's root (dlopen, RTLD_NOW; they stay loaded), creates one
// BrightnessSystemClient with [[cls alloc] init] when the class exists and
// descends from NSObject, and resolves DisplayServicesGetBrightness and
// DisplayServicesSetBrightness. What is missing stays empty, silently.
CoreBrightnessFrameworks loadCoreBrightnessFrameworks(const VmacPaths& paths);

}  // namespace lidora::vmac
