#pragma once

#include <functional>
#include <string_view>

#include "core/runtime/Cancellable.h"

namespace lidora {

// The system posts these when the user's screen locks and unlocks.
inline constexpr std::string_view kScreenIsLockedNotification = "com.apple.screenIsLocked";
inline constexpr std::string_view kScreenIsUnlockedNotification = "com.apple.screenIsUnlocked";

// NSDistributedNotificationCenter's default centre: named notifications
// between the processes of the user's session, here without object or
// user info.
class DistributedNotificationCenter {
public:
    virtual ~DistributedNotificationCenter() = default;

    // postNotificationName:object:, delivered immediately.
    virtual void post(std::string_view name) = 0;
    // addObserverForName:object:queue: with the main queue: `handler` runs on
    // the run loop for each post while the returned handle lives.
    [[nodiscard]] virtual Cancellable observe(std::string_view name, std::function<void()> handler) = 0;
};

}  // namespace lidora
