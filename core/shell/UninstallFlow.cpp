#include "core/shell/UninstallFlow.h"

#include <coroutine>

#include "core/effects/KeepsLogoDark.h"
#include "core/effects/LogoEffectsWatcher.h"
#include "core/shell/SettingsTexts.h"

namespace lidora {

namespace {

namespace texts = SettingsTexts;

// A switch still in flight would make ours be dropped.
constexpr Duration kSwitchSettleLimit = std::chrono::seconds(5);

// Resumes from a callback of its own, so that a modal alert's loop never runs
// inside the handler of the reply or timer that resumed the flow.
class ResumeFromLoop {
public:
    explicit ResumeFromLoop(RunLoop& loop) : loop_(loop) {}
    [[nodiscard]] bool await_ready() const noexcept { return false; }
    void await_suspend(std::coroutine_handle<> flow) {
        loop_.post([flow] { flow.resume(); });
    }
    void await_resume() const noexcept {}

private:
    RunLoop& loop_;
};

}  // namespace

Task<bool> uninstall(UninstallParts parts) {
    parts.application.activate();
    const int answer =
        parts.alerts.runModal(ModalAlert{std::string(texts::kUninstallQuestion),
                                         std::string(texts::kUninstallExplanation),
                                         {std::string(texts::kUninstallButton), std::string(texts::kCancelButton)}});
    if (answer != kAlertFirstButtonReturn) {
        co_return false;
    }

    // The dark mode would otherwise switch the light off again.
    if (auto written = parts.standard.set(kOnAirDarkOtherwiseKey, PreferenceValue(false)); !written) {
        parts.log.error("Uninstall could not turn off the dark mode: %{public}s", written.error());
    }
    (void)parts.standard.remove(kOnAirTurnedLightOffKey);

    auto& controller = *parts.controller;
    // Awaited on a line of its own: g++ 12 may skip a task awaited in a condition.
    const bool reset = co_await controller.resetLogoBrightness();
    if (reset) {
        parts.brightness.reset();
    } else {
        parts.brightness.setSuspended(false);
        if (auto written = parts.brightness.levelStore().set(kLogoBrightnessLevelKey, PreferenceValue(1.0)); !written) {
            parts.log.error("Uninstall could not store full brightness: %{public}s", written.error());
        }
        parts.brightness.apply(true);
    }

    if (parts.registration.status() == HelperStatus::enabled) {
        co_await controller.waitUntilIdle(kSwitchSettleLimit);
        co_await controller.setLight(LightState::on);
    }
    if (controller.knownLightState() != LightState::on) {
        co_await ResumeFromLoop(parts.loop);
        parts.alerts.runModal(
            ModalAlert{std::string(texts::kLightNotBackOn), std::string(texts::kLightNotBackOnExplanation), {}});
    }

    const auto unregistered = co_await parts.registration.unregister();
    if (!unregistered) {
        parts.log.error("Helper unregister failed: %{public}s", unregistered.error().localizedDescription);
    }
    (void)parts.loginItem.unregisterItem();

    if (const auto failed = parts.recycler.recycle(parts.bundlePath)) {
        parts.log.error("Couldn't move app to Trash: %{public}s", *failed);
    } else {
        parts.log.info("Moved Lidora to the Trash");
    }
    parts.application.terminate();
    co_return true;
}

}  // namespace lidora
