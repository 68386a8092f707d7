#pragma once

#include <string>
#include <string_view>

namespace lidora {

enum class LogLevel { Default, Info, Debug, Error, Fault };

std::string_view logLevelName(LogLevel level);

// One record as the logger hands it to the system log. Private arguments are
// already redacted in `message`.
struct LogRecord {
    std::string subsystem;
    std::string category;
    LogLevel level = LogLevel::Default;
    std::string message;
};

// The system log: where records go. Implementations stamp time and process.
class LogSink {
public:
    virtual ~LogSink() = default;
    virtual void write(const LogRecord& record) = 0;
};

}  // namespace lidora
