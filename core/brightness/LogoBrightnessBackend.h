#pragma once

#include <optional>
#include <string_view>

#include "core/brightness/BrightnessTables.h"

namespace lidora {

// Everything that touches the logo tables and the display brightness, so
// that controllers and effects can run against a stand-in.
class LogoBrightnessBackend {
public:
    virtual ~LogoBrightnessBackend() = default;

    [[nodiscard]] virtual std::optional<BrightnessTable> copyProperty(std::string_view key) = 0;
    virtual bool setProperty(const BrightnessTable& table, std::string_view key) = 0;
    [[nodiscard]] virtual std::optional<float> displayBrightness() = 0;
    virtual void setDisplayBrightness(float brightness) = 0;
    // Makes the system re-read the logo tables now rather than on the next
    // display brightness change.
    virtual void nudge() = 0;
};

}  // namespace lidora
