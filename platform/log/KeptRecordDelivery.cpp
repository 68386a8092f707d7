#include "platform/log/KeptRecordDelivery.h"

namespace lidora::vmac {

struct KeptRecordDelivery::State : std::enable_shared_from_this<State> {
    State(RunLoop& loop, std::shared_ptr<UnifiedLogSink> sink, Duration interval)
        : loop(loop), sink(std::move(sink)), interval(interval) {}

    // On the loop.
    void arm() {
        if (retry.holdsRegistration()) {
            return;
        }
        retry = loop.scheduleRepeating(interval, [weak = weak_from_this()] {
            if (auto self = weak.lock(); self && self->sink->deliverKept()) {
                self->retry.cancel();
            }
        });
    }

    RunLoop& loop;
    const std::shared_ptr<UnifiedLogSink> sink;
    const Duration interval;
    Cancellable retry;
};

KeptRecordDelivery::KeptRecordDelivery(RunLoop& loop, std::shared_ptr<UnifiedLogSink> sink, Duration interval)
    : state_(std::make_shared<State>(loop, std::move(sink), interval)) {
    // Records kept before this was made are tried too.
    state_->arm();
    state_->sink->setKeptHandler([&loop, weak = std::weak_ptr<State>(state_)] {
        loop.post([weak] {
            if (auto state = weak.lock()) {
                state->arm();
            }
        });
    });
}

KeptRecordDelivery::~KeptRecordDelivery() {
    state_->sink->setKeptHandler({});
}

}  // namespace lidora::vmac
