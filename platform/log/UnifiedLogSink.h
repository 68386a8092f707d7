#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "core/runtime/Logger.h"
#include "platform/log/LogServiceClient.h"

namespace lidora::vmac {

// The system log of the virtual Mac: sends each record to the log service,
// which stamps it with the time and the sending process, stores it and, where
// journald runs, mirrors it there. The process never writes the log files
// itself; a record the service cannot take is dropped and counted.
class UnifiedLogSink final : public LogSink {
public:
    // How long the last records may take to be stored when the sink goes.
    static constexpr std::chrono::milliseconds kExitWait{1000};

    explicit UnifiedLogSink(std::filesystem::path serviceSocket);
    ~UnifiedLogSink() override;
    UnifiedLogSink(const UnifiedLogSink&) = delete;
    UnifiedLogSink& operator=(const UnifiedLogSink&) = delete;

    // The sink for this process's virtual Mac, from the environment.
    static std::shared_ptr<UnifiedLogSink> forCurrentProcess();

    void write(const LogRecord& record) override;

    // Waits, at most `limit`, until the service stored every record sent so
    // far, so that they carry this process's identity while it still runs.
    bool flush(std::chrono::milliseconds limit = kExitWait);

    [[nodiscard]] std::uint64_t dropped() const { return dropped_; }

    // Records kept while the log service was away; see KeptRecordDelivery.
    bool deliverKept();
    void setKeptHandler(std::function<void()> handler) { client_.setKeptHandler(std::move(handler)); }

private:
    LogServiceClient client_;
    std::atomic<std::uint64_t> dropped_{0};
    std::atomic<bool> unflushed_{false};
};

}  // namespace lidora::vmac
