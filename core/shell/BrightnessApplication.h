#pragma once

#include <functional>

#include "core/ports/RunLoop.h"
#include "core/runtime/Cancellable.h"

namespace lidora {

inline constexpr Duration kSliderSettleDelay = std::chrono::milliseconds(80);

// Coalesces slider movement: at most one application is pending; each
// change restarts its wait and the end of an edit applies at once. A
// pending application still runs after the panel closes, so the owner
// outlives the panel.
class BrightnessApplication {
public:
    BrightnessApplication(RunLoop& loop, std::function<void()> apply) : loop_(loop), apply_(std::move(apply)) {}

    void schedule(Duration delay) {
        pending_ = loop_.scheduleAfter(delay, [this] {
            pending_.detach();
            apply_();
        });
    }
    [[nodiscard]] bool isPending() const { return pending_.holdsRegistration(); }

private:
    RunLoop& loop_;
    std::function<void()> apply_;
    Cancellable pending_;
};

}  // namespace lidora
