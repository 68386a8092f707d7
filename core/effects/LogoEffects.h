#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "core/message/MessageSending.h"

namespace lidora {

// What the app asks of the logo effects (breathing, On Air, messages).
class LogoEffects : public MessageSending {
public:
    // Follows the system from now on; called once at launch.
    virtual void start() = 0;
    // Re-evaluates which effect runs from preferences, the system and the light.
    virtual void update() = 0;
    // At termination: every player stopped, no effect; the light stays as is.
    virtual void stopAll() = 0;
};

// How the effects see and switch the light; the app's light controller.
struct LogoEffectsLight {
    std::function<bool()> isOn;
    std::function<Task<void>(bool on)> set;
};

using LogoEffectsFactory = std::function<std::unique_ptr<LogoEffects>(LogoEffectsLight light)>;

}  // namespace lidora
