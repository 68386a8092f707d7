#include "core/control/SetLogoLightIntent.h"

#include <string>

#include "core/control/OpenApplication.h"
#include "core/light/LightNotifications.h"

namespace lidora::control {

Task<Expected<void, HelperError>> SetLogoLightIntent::perform(ControlParts& parts) const {
    const auto switched = co_await parts.light.setLight(value ? LightState::on : LightState::off);
    if (!switched) {
        parts.log.error("Switching the light failed: %{public}s", switched.error().message);
        co_await openApplication(parts.workspace, true);
        co_return unexpected(HelperError{std::string(kCouldNotChangeLight)});
    }
    parts.notifications.post(kChangedNotification);
    // The system refreshes the switch itself; the brightness control's text
    // depends on the light.
    parts.controls.reloadControls(kLogoBrightnessControlKind);
    co_return Expected<void, HelperError>{};
}

}  // namespace lidora::control
