#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/runtime/Expected.h"
#include "platform/log/UnifiedLogStore.h"

namespace lidora::vmac {

// What `vmac log show` selects: filters, then the newest records last.
struct LogQuery {
    std::optional<std::string> subsystem;
    std::optional<std::string> category;
    std::optional<std::string> process;
    std::optional<LogLevel> level;
    std::optional<std::int64_t> uid;
    // --last N keeps the newest N records; --last 5m keeps a time window.
    std::optional<std::size_t> lastCount;
    std::optional<std::int64_t> lastMicroseconds;
    bool json = false;
};

// Parses the arguments after "show". Errors name the offending argument.
Expected<LogQuery, std::string> parseLogQuery(const std::vector<std::string>& arguments);

std::vector<StoredLogRecord> selectRecords(std::vector<StoredLogRecord> records, const LogQuery& query,
                                           std::int64_t nowMicroseconds);

// "2026-12-06 17:47:22.123456+0000 Default 1234 helper: [com.zelquin.lidora:helper] text"
std::string formatLogRecord(const StoredLogRecord& record);

}  // namespace lidora::vmac
