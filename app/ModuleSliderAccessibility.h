#pragma once

namespace lidora::app {

// Makes every ModuleSlider one accessible slider element: its label, its
// value text, and increment and decrement actions that step it by a tenth.
void installModuleSliderAccessibility();

}  // namespace lidora::app
