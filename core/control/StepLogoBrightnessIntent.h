#pragma once

#include <string_view>

#include "core/control/ControlParts.h"

namespace lidora::control {

inline constexpr std::string_view kCouldNotTurnOnLight =
    "Lidora couldn't turn on the logo light. Open Lidora to finish setup.";
inline constexpr std::string_view kCouldNotStoreLevel = "Lidora couldn't save the logo brightness.";

// The level one tap moves to: the next preset below (100 % → 60 % → 30 % →
// Dim), and from Dim back to 100 %. A level between presets goes to the
// next one below it.
[[nodiscard]] double steppedLevel(double level);

// The brightness button's action. Only the app turns a level into tables,
// so the tap stores the level and tells the running app, or starts it in
// the background to apply the level at start-up. A tap on a light that is
// off, and not kept dark by On Air, only turns it on.
struct StepLogoBrightnessIntent {
    static constexpr std::string_view kTitle = "Step Apple Logo Brightness";

    [[nodiscard]] Task<Expected<void, HelperError>> perform(ControlParts& parts) const;
};

}  // namespace lidora::control
