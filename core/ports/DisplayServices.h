#pragma once

#include <cstdint>

namespace lidora {

using DisplayID = std::uint32_t;

// DisplayServicesGetBrightness: 0 on success, with the display's brightness
// (0 to 1) written to `brightness`.
class DisplayBrightnessGetter {
public:
    virtual ~DisplayBrightnessGetter() = default;
    virtual std::int32_t operator()(DisplayID display, float* brightness) = 0;
};

// DisplayServicesSetBrightness; callers do not rely on its result.
class DisplayBrightnessSetter {
public:
    virtual ~DisplayBrightnessSetter() = default;
    virtual std::int32_t operator()(DisplayID display, float brightness) = 0;
};

}  // namespace lidora
