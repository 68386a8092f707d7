#include "core/control/StepLogoBrightnessIntent.h"

#include <string>

#include "core/brightness/LogoBrightnessController.h"
#include "core/brightness/LogoBrightnessScale.h"
#include "core/control/OpenApplication.h"
#include "core/effects/KeepsLogoDark.h"
#include "core/light/LightNotifications.h"

namespace lidora::control {

double steppedLevel(double level) {
    // Below Dim's own factor (with the margin that keeps a level sitting on
    // a preset from matching it) there is no dimmer preset: wrap to full.
    const double next = factorForLevel(level) * 0.98 > kMinLogoBrightnessFactor
                            ? dimmerPresetFactor(level)
                            : preset(LogoBrightnessChoice::full).factor;
    return levelForFactor(next);
}

namespace {

Task<void> tellApplication(ControlParts& parts) {
    const auto running = co_await parts.running.runningApplications(std::string(kAppBundleIdentifier));
    if (!running.empty()) {
        parts.notifications.post(kBrightnessChangedNotification);
    } else {
        // It applies the stored level while it starts.
        co_await openApplication(parts.workspace, false);
    }
    parts.controls.reloadControls(kLogoLightControlKind);
    parts.controls.reloadControls(kLogoBrightnessControlKind);
}

}  // namespace

Task<Expected<void, HelperError>> StepLogoBrightnessIntent::perform(ControlParts& parts) const {
    const auto state = co_await parts.light.state();
    auto group = suiteOrStandard(parts.defaults, kAppGroupSuite);
    const double level = LogoBrightnessController::storedLevel(*group);
    const bool keptDark = group->boolean(kOnAirKeepsLogoDarkKey).value_or(false);

    if (state && *state == LightState::off && !keptDark) {
        if (const auto switched = co_await parts.light.setLight(LightState::on); !switched) {
            parts.log.error("Turning the light on failed: %{public}s", switched.error().message);
            co_await openApplication(parts.workspace, true);
            co_return unexpected(HelperError{std::string(kCouldNotTurnOnLight)});
        }
        parts.notifications.post(kChangedNotification);
    } else if (const auto stored = group->set(kLogoBrightnessLevelKey, PreferenceValue(steppedLevel(level))); !stored) {
        // Telling the app would only make it apply the old level again.
        parts.log.error("Cannot store the logo brightness level: %{public}s", stored.error());
        co_return unexpected(HelperError{std::string(kCouldNotStoreLevel)});
    }
    co_await tellApplication(parts);
    co_return Expected<void, HelperError>{};
}

}  // namespace lidora::control
