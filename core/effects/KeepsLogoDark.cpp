#include "core/effects/KeepsLogoDark.h"

namespace lidora {

bool keepsLogoDark(const UserDefaults& standard) {
    return standard.boolean(kOnAirEnabledKey).value_or(true) &&
           standard.boolean(kOnAirDarkOtherwiseKey).value_or(false);
}

void publishKeepsLogoDark(const UserDefaults& standard, UserDefaults& group, ControlCenter& controls) {
    const bool keepDark = keepsLogoDark(standard);
    if (group.boolean(kOnAirKeepsLogoDarkKey) == keepDark) {
        return;
    }
    // A failed write is retried on the next change; the control then
    // reloads and reads whatever is there.
    (void)group.set(kOnAirKeepsLogoDarkKey, PreferenceValue(keepDark));
    controls.reloadControls(kLogoBrightnessControlKind);
}

}  // namespace lidora
