#pragma once

#include "core/brightness/BrightnessTables.h"

namespace lidora::vmac {

// Linear between points, level beyond the first and last; points are taken
// in order of their input, whatever order the table lists them in. 0 for an
// empty table.
double interpolate(const BrightnessTable& table, double input);

struct LogoInputs {
    bool backlightOn = true;
    BrightnessTables tables;
    double displayBrightness = 0.0;
    double ambientLux = 0.0;
};

// Dark is 0 nits; lit is the curve at the display's brightness, never below
// the floor at the ambient light, never negative.
double logoLuminance(const LogoInputs& inputs);

}  // namespace lidora::vmac
