#include "core/shortcuts/ShortcutsOperations.h"

#include <algorithm>

#include "core/effects/KeepsLogoDark.h"
#include "core/shell/AppDelegate.h"

namespace lidora {

namespace {

HelperError notSaved() {
    return HelperError{std::string(kSettingNotSavedText)};
}

}  // namespace

std::string levelWords(double level) {
    const std::string text = levelText(level);
    if (text == "Dim") {
        return "its dimmest";
    }
    std::string words;
    for (const char c : text) {
        if (c == '%') {
            words += " percent";
        } else {
            words += c;
        }
    }
    return words;
}

Task<ActionResult> switchLight(ShortcutsContext& context, bool on) {
    if (keepsLogoDark(*context.defaults.standard())) {
        co_return std::string(on ? "On Air is keeping the Apple logo dark until you're on a call. You can change "
                                   "that in Lidora's Settings."
                                 : "The Apple logo light is already off while you're not on air.");
    }
    auto switched = co_await context.light.setLight(on ? LightState::on : LightState::off);
    if (!switched) {
        co_return unexpected(switched.error());
    }
    context.notifications.post(kChangedNotification);
    co_return std::string(on ? "The Apple logo light is on." : "The Apple logo light is off.");
}

Task<ActionResult> setBrightness(ShortcutsContext& context, double level) {
    const auto group = suiteOrStandard(context.defaults, kAppGroupSuite);
    // NaN counts as nothing, like a level at or below 0.
    const double clamped = level > 0.0 ? std::min(level, 1.0) : 0.0;
    if (!group->set(kLogoBrightnessLevelKey, PreferenceValue(clamped))) {
        co_return unexpected(notSaved());
    }
    // A failed apply is not reported; the next upkeep tries again.
    (void)context.brightness.apply(false);
    context.controls.reloadControls(kLogoBrightnessControlKind);
    const std::string words = levelWords(level);
    if (keepsLogoDark(*context.defaults.standard())) {
        co_return "The Apple logo will be at " + words + " when it's on. On Air keeps it dark until you're on a call.";
    }
    auto state = co_await context.light.state();
    if (!state) {
        co_return unexpected(state.error());
    }
    if (*state == LightState::on) {
        co_return "The Apple logo is at " + words + ".";
    }
    auto switched = co_await context.light.setLight(LightState::on);
    if (!switched) {
        co_return unexpected(switched.error());
    }
    context.notifications.post(kChangedNotification);
    co_return "The Apple logo light is on, at " + words + ".";
}

}  // namespace lidora
