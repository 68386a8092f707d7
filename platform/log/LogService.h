#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/log/UnifiedLogFolder.h"

namespace lidora::vmac {

// Who sent a datagram, as the kernel and /proc tell.
struct LogSender {
    pid_t pid = 0;
    uid_t uid = 0;
    std::string process;  // the executable's name, or kGoneProcess
};

inline constexpr std::string_view kGoneProcess = "(exited)";

// The heart of the log service: every datagram from a hostile sender is
// checked, stamped with the sender the kernel names and the service's own
// clock, and stored in that sender's file. Malformed ones are dropped.
class LogService {
public:
    struct Counts {
        std::uint64_t stored = 0;
        std::uint64_t dropped = 0;  // malformed
        std::uint64_t failed = 0;   // not stored
    };

    LogService(UnifiedLogFolder folder, std::function<std::int64_t()> microsecondsNow);

    // The reply to send back, for a sync request.
    std::optional<std::string> handle(std::string_view datagram, const LogSender& sender);
    // The service's own record, stored under its own identity.
    void note(const LogRecord& record, const LogSender& self);
    // A datagram whose sender the kernel did not name, or cut short.
    void drop() { ++counts_.dropped; }
    // Called with each record once it is stored (journald's copy).
    void setMirror(std::function<void(const StoredLogRecord&)> mirror) { mirror_ = std::move(mirror); }

    [[nodiscard]] const Counts& counts() const { return counts_; }

private:
    void store(const LogRecord& record, const LogSender& sender);

    UnifiedLogFolder folder_;
    std::function<std::int64_t()> now_;
    std::function<void(const StoredLogRecord&)> mirror_;
    Counts counts_;
};

}  // namespace lidora::vmac
