#pragma once

#include <memory>

#include "core/ports/RunLoop.h"
#include "platform/log/UnifiedLogSink.h"

namespace lidora::vmac {

// Sends the records a sink kept while the log service was away as soon as
// the service listens, rather than ahead of the process's next record: a
// daemon that logs while starting with logd at boot and then stays quiet
// would keep them for ever. Tries every `interval` on the loop, only while
// some are kept.
class KeptRecordDelivery {
public:
    static constexpr Duration kInterval = std::chrono::milliseconds(100);

    KeptRecordDelivery(RunLoop& loop, std::shared_ptr<UnifiedLogSink> sink, Duration interval = kInterval);
    ~KeptRecordDelivery();
    KeptRecordDelivery(const KeptRecordDelivery&) = delete;
    KeptRecordDelivery& operator=(const KeptRecordDelivery&) = delete;

private:
    struct State;
    std::shared_ptr<State> state_;
};

}  // namespace lidora::vmac
