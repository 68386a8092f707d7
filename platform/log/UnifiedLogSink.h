#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "core/runtime/Logger.h"
#include "platform/log/UnifiedLogStore.h"

namespace lidora::vmac {

// The system log of the virtual Mac: stamps each record with the time and
// the process, stores it in the unified log and, where journald runs, sends
// it there too.
class UnifiedLogSink final : public LogSink {
public:
    explicit UnifiedLogSink(UnifiedLogStore store, bool useJournal = journalAvailable());

    // The sink for this process's virtual Mac, from the environment.
    static std::shared_ptr<UnifiedLogSink> forCurrentProcess();
    static bool journalAvailable();

    void write(const LogRecord& record) override;

private:
    UnifiedLogStore store_;
    bool useJournal_;
    std::string process_;
    std::atomic<bool> reportedFailure_{false};
};

}  // namespace lidora::vmac
