#include "platform/log/LogQuery.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <ctime>

namespace lidora::vmac {

namespace {

std::optional<std::int64_t> parseWhole(std::string_view text) {
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 0) {
        return std::nullopt;
    }
    return value;
}

// One record, one line: a message cannot pass off lines of its own as records.
std::string oneLine(std::string_view text) {
    std::string line;
    line.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\n') {
            line += "\\n";
        } else if (c == '\r') {
            line += "\\r";
        } else if ((byte < 0x20 && c != '\t') || byte == 0x7f) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
            line += escaped;
        } else {
            line += c;
        }
    }
    return line;
}

}  // namespace

Expected<LogQuery, std::string> parseLogQuery(const std::vector<std::string>& arguments) {
    LogQuery query;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& option = arguments[i];
        if (option == "--style") {
            if (i + 1 >= arguments.size() || (arguments[i + 1] != "json" && arguments[i + 1] != "default")) {
                return unexpected(std::string("--style takes json or default"));
            }
            query.json = arguments[++i] == "json";
            continue;
        }
        if (option == "--info" || option == "--debug") {
            continue;  // every level is shown anyway
        }
        if (i + 1 >= arguments.size()) {
            return unexpected("unknown option or missing value: " + option);
        }
        const std::string& value = arguments[++i];
        if (option == "--subsystem") {
            query.subsystem = value;
        } else if (option == "--category") {
            query.category = value;
        } else if (option == "--process") {
            query.process = value;
        } else if (option == "--uid") {
            query.uid = parseWhole(value);
            if (!query.uid) {
                return unexpected("--uid takes a user id: " + value);
            }
        } else if (option == "--level") {
            auto level = logLevelFromName(value);
            if (!level) {
                return unexpected("unknown level: " + value + " (Default, Info, Debug, Error or Fault)");
            }
            query.level = level;
        } else if (option == "--last") {
            static constexpr std::pair<char, std::int64_t> kUnits[] = {
                {'s', 1'000'000LL}, {'m', 60'000'000LL}, {'h', 3'600'000'000LL}, {'d', 86'400'000'000LL}};
            const auto unit = std::find_if(std::begin(kUnits), std::end(kUnits),
                                           [&](const auto& u) { return !value.empty() && value.back() == u.first; });
            if (unit != std::end(kUnits)) {
                const auto amount = parseWhole(std::string_view(value).substr(0, value.size() - 1));
                if (!amount || *amount > 365LL * 24 * 3600) {
                    return unexpected("--last takes a count or a time such as 30s, 5m, 2h, 1d: " + value);
                }
                query.lastMicroseconds = *amount * unit->second;
            } else {
                const auto count = parseWhole(value);
                if (!count) {
                    return unexpected("--last takes a count or a time such as 30s, 5m, 2h, 1d: " + value);
                }
                query.lastCount = static_cast<std::size_t>(*count);
            }
        } else {
            return unexpected("unknown option: " + option);
        }
    }
    return query;
}

std::vector<StoredLogRecord> selectRecords(std::vector<StoredLogRecord> records, const LogQuery& query,
                                           std::int64_t nowMicroseconds) {
    std::erase_if(records, [&](const StoredLogRecord& r) {
        return (query.subsystem && r.subsystem != *query.subsystem) ||
               (query.category && r.category != *query.category) || (query.process && r.process != *query.process) ||
               (query.level && r.level != *query.level) || (query.uid && r.uid != *query.uid) ||
               (query.lastMicroseconds && r.microsecondsSinceEpoch < nowMicroseconds - *query.lastMicroseconds);
    });
    if (query.lastCount && records.size() > *query.lastCount) {
        records.erase(records.begin(), records.end() - static_cast<std::ptrdiff_t>(*query.lastCount));
    }
    return records;
}

std::string formatLogRecord(const StoredLogRecord& record) {
    const std::time_t seconds = static_cast<std::time_t>(record.microsecondsSinceEpoch / 1'000'000);
    const auto micros = static_cast<long>(record.microsecondsSinceEpoch % 1'000'000);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char stamp[64];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &utc);
    char prefix[128];
    std::snprintf(prefix, sizeof prefix, "%s.%06ld+0000 %-7s %-6lld ", stamp, micros,
                  std::string(logLevelName(record.level)).c_str(), static_cast<long long>(record.pid));
    return std::string(prefix) + oneLine(record.process) + ": [" + oneLine(record.subsystem) + ":" +
           oneLine(record.category) + "] " + oneLine(record.message);
}

}  // namespace lidora::vmac
