#include "core/runtime/Logger.h"

#include <cstdio>

namespace lidora {

std::string_view logLevelName(LogLevel level) {
    switch (level) {
        case LogLevel::Default: return "Default";
        case LogLevel::Info: return "Info";
        case LogLevel::Debug: return "Debug";
        case LogLevel::Error: return "Error";
        case LogLevel::Fault: return "Fault";
    }
    return "Default";
}

namespace {

std::string renderNumber(const LogArgument& argument, char conversion) {
    char buffer[64];
    if (const auto* d = std::get_if<double>(&argument)) {
        std::snprintf(buffer, sizeof buffer, "%f", *d);
        return buffer;
    }
    if (const auto* s = std::get_if<std::string>(&argument)) {
        return *s;
    }
    const bool isSigned = std::holds_alternative<std::int64_t>(argument);
    const auto raw =
        isSigned ? static_cast<std::uint64_t>(std::get<std::int64_t>(argument)) : std::get<std::uint64_t>(argument);
    if (conversion == 'x' || conversion == 'X') {
        std::snprintf(buffer, sizeof buffer, conversion == 'x' ? "%llx" : "%llX", static_cast<unsigned long long>(raw));
    } else if (conversion == 'u' || !isSigned) {
        std::snprintf(buffer, sizeof buffer, "%llu", static_cast<unsigned long long>(raw));
    } else {
        std::snprintf(buffer, sizeof buffer, "%lld", static_cast<long long>(std::get<std::int64_t>(argument)));
    }
    return buffer;
}

std::string renderString(const LogArgument& argument) {
    if (const auto* s = std::get_if<std::string>(&argument)) {
        return *s;
    }
    return renderNumber(argument, 'd');
}

// Decorations are a comma-separated list, such as "bool,public".
bool hasDecoration(std::string_view decorations, std::string_view wanted) {
    while (!decorations.empty()) {
        const auto comma = decorations.find(',');
        if (decorations.substr(0, comma) == wanted) {
            return true;
        }
        decorations = comma == std::string_view::npos ? std::string_view() : decorations.substr(comma + 1);
    }
    return false;
}

std::string renderBool(const LogArgument& argument) {
    if (const auto* s = std::get_if<std::string>(&argument)) {
        return *s;
    }
    const bool value = std::visit([](const auto& v) { return v != std::decay_t<decltype(v)>{}; }, argument);
    return value ? "true" : "false";
}

}  // namespace

std::string renderLogMessage(std::string_view format, const std::vector<LogArgument>& arguments) {
    std::string out;
    out.reserve(format.size() + 32);
    std::size_t next = 0;
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%') {
            out.push_back(format[i]);
            continue;
        }
        std::size_t j = i + 1;
        if (j < format.size() && format[j] == '%') {
            out.push_back('%');
            i = j;
            continue;
        }
        std::string_view privacy;
        if (j < format.size() && format[j] == '{') {
            const auto close = format.find('}', j);
            if (close == std::string_view::npos) {
                out.append(format.substr(i));
                break;
            }
            privacy = format.substr(j + 1, close - j - 1);
            j = close + 1;
        }
        while (j < format.size() && (format[j] == 'l' || format[j] == 'h' || format[j] == 'z' || format[j] == 'q')) {
            ++j;
        }
        if (j >= format.size()) {
            out.append(format.substr(i));
            break;
        }
        const char conversion = format[j];
        i = j;
        if (next >= arguments.size()) {
            out.append("<missing>");
            continue;
        }
        const LogArgument& argument = arguments[next++];
        const bool textual = conversion == 's' || conversion == '@';
        const bool isPrivate = privacy.find("private") != std::string_view::npos ||
                               (textual && privacy.find("public") == std::string_view::npos);
        if (isPrivate) {
            out.append(kRedacted);
        } else if (!textual && hasDecoration(privacy, "bool")) {
            out.append(renderBool(argument));
        } else if (textual) {
            out.append(renderString(argument));
        } else {
            out.append(renderNumber(argument, conversion));
        }
    }
    return out;
}

void Logger::write(LogLevel level, std::string_view format, std::vector<LogArgument> arguments) const {
    sink_->write(LogRecord{subsystem_, category_, level, renderLogMessage(format, arguments)});
}

}  // namespace lidora
