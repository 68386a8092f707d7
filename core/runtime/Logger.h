#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "core/ports/LogSink.h"

namespace lidora {

using LogArgument = std::variant<std::int64_t, std::uint64_t, double, std::string>;

// Renders a system-log format: %d %i %u %ld %lld %lu %x %f %s %@ %%, each
// optionally with {public} or {private}, and {bool} (as in {bool,public})
// for a number shown as true or false. Strings and objects are private
// unless marked public; numbers are public unless marked private. Missing
// arguments render as "<missing>", surplus ones are ignored.
std::string renderLogMessage(std::string_view format, const std::vector<LogArgument>& arguments);

inline constexpr std::string_view kRedacted = "<private>";

// A logger for one subsystem and category, like os_log_create(). Cheap to copy.
class Logger {
public:
    Logger() = default;
    Logger(std::shared_ptr<LogSink> sink, std::string subsystem, std::string category)
        : sink_(std::move(sink)), subsystem_(std::move(subsystem)), category_(std::move(category)) {}

    template <typename... Args>
    void log(LogLevel level, std::string_view format, const Args&... args) const {
        if (!sink_) {
            return;
        }
        write(level, format, {argument(args)...});
    }
    template <typename... Args>
    void notice(std::string_view format, const Args&... args) const {
        log(LogLevel::Default, format, args...);
    }
    template <typename... Args>
    void info(std::string_view format, const Args&... args) const {
        log(LogLevel::Info, format, args...);
    }
    template <typename... Args>
    void error(std::string_view format, const Args&... args) const {
        log(LogLevel::Error, format, args...);
    }
    template <typename... Args>
    void fault(std::string_view format, const Args&... args) const {
        log(LogLevel::Fault, format, args...);
    }

    [[nodiscard]] const std::string& subsystem() const { return subsystem_; }
    [[nodiscard]] const std::string& category() const { return category_; }

private:
    template <typename A>
    static LogArgument argument(const A& value) {
        constexpr bool isSigned =
            std::is_same_v<A, bool> || std::is_enum_v<A> || (std::is_integral_v<A> && std::is_signed_v<A>);
        if constexpr (isSigned) {
            return LogArgument(static_cast<std::int64_t>(value));
        } else if constexpr (std::is_integral_v<A>) {
            return LogArgument(static_cast<std::uint64_t>(value));
        } else if constexpr (std::is_floating_point_v<A>) {
            return LogArgument(static_cast<double>(value));
        } else {
            return LogArgument(std::string(std::string_view(value)));
        }
    }

    void write(LogLevel level, std::string_view format, std::vector<LogArgument> arguments) const;

    std::shared_ptr<LogSink> sink_;
    std::string subsystem_;
    std::string category_;
};

inline constexpr std::string_view kLogSubsystem = "com.zelquin.lidora";

}  // namespace lidora
