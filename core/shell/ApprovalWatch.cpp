#include "core/shell/ApprovalWatch.h"

namespace lidora {

void ApprovalWatch::follow(const Phase& phase) {
    if (!phase.isNeedsApproval()) {
        timer_.cancel();
        return;
    }
    if (!isWatching()) {
        timer_ = loop_.scheduleRepeating(kApprovalPollInterval, [this] { poll(); });
    }
}

void ApprovalWatch::poll() {
    if (registration_.status() == HelperStatus::enabled) {
        timer_.cancel();
        approved_();
    }
}

}  // namespace lidora
