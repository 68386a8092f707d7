#include <chrono>
#include <cstdio>
#include <optional>

#include "platform/log/LogQuery.h"
#include "platform/log/LogWire.h"
#include "platform/log/UnifiedLogFolder.h"
#include "platform/log/UnifiedLogSink.h"
#include "platform/tools/vmac/Command.h"

namespace lidora::vmac {

namespace {

constexpr const char* kUsage =
    "usage: vmac log show [--subsystem S] [--category C] [--process P] [--level L] [--uid U]\n"
    "                     [--last N | --last TIME] [--style default|json]\n"
    "       vmac log post [--subsystem S] [--category C] [--level L] MESSAGE\n\n"
    "Prints the unified log, oldest first. --last N keeps the newest N records;\n"
    "--last 30s, 5m, 2h or 1d keeps that much time. Levels: Default, Info, Debug,\n"
    "Error, Fault. --uid U keeps the records of one user. post adds a record, as a\n"
    "program of the virtual Mac would; the log service (logd) stamps its sender.\n";

constexpr std::chrono::milliseconds kShowSyncWait{2000};

int post(const VmacPaths& paths, const std::vector<std::string>& arguments) {
    std::string subsystem = "com.zelquin.vmac";
    std::string category = "default";
    LogLevel level = LogLevel::Default;
    std::optional<std::string> message;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const auto& option = arguments[i];
        const bool hasValue = i + 1 < arguments.size();
        if (option == "--subsystem" && hasValue) {
            subsystem = arguments[++i];
        } else if (option == "--category" && hasValue) {
            category = arguments[++i];
        } else if (option == "--level" && hasValue) {
            const auto parsed = logLevelFromName(arguments[++i]);
            if (!parsed) {
                std::fprintf(stderr, "vmac log post: unknown level: %s\n", arguments[i].c_str());
                return 64;
            }
            level = *parsed;
        } else if (!message && (option.empty() || option.front() != '-')) {
            message = option;
        } else {
            std::fprintf(stderr, "vmac log post: unexpected argument: %s\n", option.c_str());
            return 64;
        }
    }
    if (!message) {
        std::fprintf(stderr, "vmac log post: no message\n");
        return 64;
    }
    UnifiedLogSink sink(logServiceSocket(paths));
    sink.write(LogRecord{subsystem, category, level, *message});
    if (sink.dropped() > 0) {
        std::fprintf(stderr, "vmac log post: the log service is not running or busy; `vmac boot` starts it\n");
        return 1;
    }
    sink.flush();
    return 0;
}

}  // namespace

int runLog(const VmacPaths& paths, const std::vector<std::string>& arguments) {
    if (arguments.empty() || wantsHelp(arguments)) {
        std::fputs(kUsage, arguments.empty() ? stderr : stdout);
        return arguments.empty() ? 64 : 0;
    }
    if (arguments.front() == "post") {
        return post(paths, {arguments.begin() + 1, arguments.end()});
    }
    if (arguments.front() != "show") {
        std::fprintf(stderr, "vmac log: unknown verb '%s'\n\n%s", arguments.front().c_str(), kUsage);
        return 64;
    }
    const auto query = parseLogQuery({arguments.begin() + 1, arguments.end()});
    if (!query) {
        std::fprintf(stderr, "vmac log show: %s\n", query.error().c_str());
        return 64;
    }
    const auto now =
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::system_clock::now().time_since_epoch());
    // Everything sent before this point is stored first; without the service
    // the files are read as they are.
    LogServiceClient(logServiceSocket(paths)).sync(kShowSyncWait);
    const UnifiedLogFolder log(paths.unifiedLog());
    for (const auto& record : selectRecords(log.readAll(), *query, now.count())) {
        const std::string line = query->json ? encodeLogRecord(record) : formatLogRecord(record);
        std::printf("%s\n", line.c_str());
    }
    return 0;
}

}  // namespace lidora::vmac
