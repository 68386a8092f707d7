#pragma once

#include <string>
#include <string_view>

#include "core/shortcuts/ShortcutsAction.h"

namespace lidora {

inline constexpr std::string_view kStillStartingText = "Lidora is still starting. Try again in a moment.";
// A preference that cannot be written (a full disk) is not reported as done.
inline constexpr std::string_view kSettingNotSavedText = "Couldn't save the setting.";

// Switches the light through the daemon unless On Air keeps it dark;
// the dialog, or the daemon's failure.
Task<ActionResult> switchLight(ShortcutsContext& context, bool on);

// Stores and applies a brightness level, then makes sure the light is on
// (unless On Air keeps it dark). What was done before a failure stays done.
Task<ActionResult> setBrightness(ShortcutsContext& context, double level);

// How a dialog says a level: "60 percent", "its dimmest".
std::string levelWords(double level);

}  // namespace lidora
