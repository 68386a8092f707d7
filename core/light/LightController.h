#pragma once

#include <functional>
#include <optional>
#include <string>

#include "core/light/HardwareSupport.h"
#include "core/light/HelperRegistering.h"
#include "core/light/LightService.h"
#include "core/light/Phase.h"
#include "core/ports/RunLoop.h"
#include "core/ports/SystemInfo.h"
#include "core/runtime/Logger.h"
#include "core/runtime/Observable.h"
#include "core/runtime/Task.h"

namespace lidora {

// The app's view of the logo light: keeps the helper registered and current,
// switches the light and tells the menu what to show. Use on the run loop.
class LightController {
public:
    LightController(HardwareSupport hardware, std::string modelIdentifier, std::optional<std::string> installProblem,
                    LightService& light, HelperRegistering& registration, std::function<void()> onLightChanged,
                    Logger log, RunLoop& loop, ProcessEnvironment& environment);

    [[nodiscard]] const Phase& phase() const { return phase_.get(); }
    [[nodiscard]] Subscription subscribePhase(Observable<Phase>::Callback callback) {
        return phase_.subscribe(std::move(callback));
    }
    [[nodiscard]] bool isBusy() const { return busy_.get(); }
    [[nodiscard]] Subscription subscribeBusy(Observable<bool>::Callback callback) {
        return busy_.subscribe(std::move(callback));
    }

    [[nodiscard]] std::optional<LightState> knownLightState() const;
    [[nodiscard]] HardwareSupport hardware() const { return hardware_; }
    [[nodiscard]] const std::optional<std::string>& installProblem() const { return installProblem_; }
    // Why the light can't be switched at all, if it can't.
    [[nodiscard]] std::optional<std::string> blockingMessage() const;

    void setPhase(Phase phase);

    // Registers the helper if needed, replaces one of another version, then
    // reads the light.
    Task<void> start();
    Task<void> registerHelper();
    Task<void> reinstallHelper();
    // Registers first when nothing is registered, then opens System Settings.
    Task<void> approveHelper();
    Task<void> refresh();
    Task<void> setLight(LightState target);
    // Lets a switch in flight finish, e.g. before quitting.
    Task<void> waitUntilIdle(Duration timeout);
    Task<bool> resetLogoBrightness();

    [[nodiscard]] std::string diagnostics() const;

private:
    Task<void> replaceOutdatedHelper();
    Task<void> unregisterHelper();

    const HardwareSupport hardware_;
    const std::string modelIdentifier_;
    const std::optional<std::string> installProblem_;
    LightService& light_;
    HelperRegistering& registration_;
    const std::function<void()> onLightChanged_;
    const Logger log_;
    RunLoop& loop_;
    ProcessEnvironment& environment_;
    Observable<Phase> phase_{Phase::loading()};
    Observable<bool> busy_{false};
};

}  // namespace lidora
