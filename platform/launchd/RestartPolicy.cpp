#include "platform/launchd/RestartPolicy.h"

#include <algorithm>

namespace lidora::vmac {

void RestartPolicy::started(TimePoint at) {
    starts_.push_back(at);
    if (starts_.size() > kBurstStarts) {
        starts_.pop_front();
    }
}

RestartPolicy::Decision RestartPolicy::exited(TimePoint at, bool clean, bool killed) const {
    Decision decision{at, keepAlive_, false};
    if (starts_.empty()) {
        return decision;
    }
    if (!clean || keepAlive_) {
        decision.notBefore = std::max(at, starts_.back() + throttle_);
        decision.discardWaiting = !clean && !killed && decision.notBefore > at;
    } else if (starts_.size() == kBurstStarts) {
        decision.notBefore = std::max(at, starts_.front() + throttle_);
    }
    return decision;
}

}  // namespace lidora::vmac
