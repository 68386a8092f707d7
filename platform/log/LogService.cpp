#include "platform/log/LogService.h"

#include <cstdio>

#include "platform/log/LogWire.h"

namespace lidora::vmac {

LogService::LogService(UnifiedLogFolder folder, std::function<std::int64_t()> microsecondsNow)
    : folder_(std::move(folder)), now_(std::move(microsecondsNow)) {}

std::optional<std::string> LogService::handle(std::string_view datagram, const LogSender& sender) {
    auto decoded = decodeLogDatagram(datagram);
    if (!decoded) {
        ++counts_.dropped;
        return std::nullopt;
    }
    if (const auto* sync = std::get_if<LogSyncRequest>(&*decoded)) {
        return encodeLogSyncReply(sync->token);
    }
    store(std::get<LogRecord>(*decoded), sender);
    return std::nullopt;
}

void LogService::note(const LogRecord& record, const LogSender& self) {
    store(record, self);
}

void LogService::store(const LogRecord& record, const LogSender& sender) {
    StoredLogRecord stored;
    stored.microsecondsSinceEpoch = now_();
    stored.pid = sender.pid;
    stored.uid = sender.uid;
    stored.process = sender.process;
    stored.subsystem = record.subsystem;
    stored.category = record.category;
    stored.level = record.level;
    stored.message = record.message;
    if (auto written = folder_.append(stored); !written) {
        // logd's stderr goes to launchd's log; once is enough.
        if (counts_.failed++ == 0) {
            std::fprintf(stderr, "logd: %s\n", written.error().c_str());
        }
        return;
    }
    ++counts_.stored;
    if (mirror_) {
        mirror_(stored);
    }
}

}  // namespace lidora::vmac
