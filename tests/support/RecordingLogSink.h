#pragma once

#include <string>
#include <vector>

#include "core/runtime/Logger.h"

namespace lidora::testing {

// Keeps every record so a test can read what was logged.
class RecordingLogSink final : public LogSink {
public:
    void write(const LogRecord& record) override { records.push_back(record); }

    [[nodiscard]] std::vector<std::string> messages() const {
        std::vector<std::string> out;
        for (const auto& r : records) {
            out.push_back(r.message);
        }
        return out;
    }

    std::vector<LogRecord> records;
};

}  // namespace lidora::testing
