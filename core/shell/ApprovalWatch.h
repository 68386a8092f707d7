#pragma once

#include <functional>

#include "core/light/HelperRegistering.h"
#include "core/light/Phase.h"
#include "core/ports/RunLoop.h"

namespace lidora {

inline constexpr Duration kApprovalPollInterval = std::chrono::seconds(2);

// The system tells no one when the user approves the helper; rather than
// wait for the panel to be opened again, look every two seconds while
// approval is pending, so the light shows up as soon as it is allowed. A
// look only reads the registration's status, which never waits.
class ApprovalWatch {
public:
    ApprovalWatch(RunLoop& loop, HelperRegistering& registration, std::function<void()> approved)
        : loop_(loop), registration_(registration), approved_(std::move(approved)) {}

    // Looks out while `phase` needs approval, and not otherwise.
    void follow(const Phase& phase);
    // One look: once the helper is enabled, stops looking and tells.
    void poll();
    [[nodiscard]] bool isWatching() const { return timer_.holdsRegistration(); }

private:
    RunLoop& loop_;
    HelperRegistering& registration_;
    std::function<void()> approved_;
    Cancellable timer_;
};

}  // namespace lidora
