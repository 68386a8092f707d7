#include "platform/log/JournalMirror.h"

#include <systemd/sd-journal.h>
#include <unistd.h>

namespace lidora::vmac {

namespace {

int journalPriority(LogLevel level) {
    switch (level) {
        case LogLevel::Fault: return 2;
        case LogLevel::Error: return 3;
        case LogLevel::Default: return 5;
        case LogLevel::Info: return 6;
        case LogLevel::Debug: return 7;
    }
    return 5;
}

}  // namespace

bool journalAvailable() {
    return ::access("/run/systemd/journal/socket", W_OK) == 0;
}

void mirrorToJournal(const StoredLogRecord& record) {
    sd_journal_send("MESSAGE=%s", record.message.c_str(), "PRIORITY=%i", journalPriority(record.level),
                    "SYSLOG_IDENTIFIER=%s", record.process.c_str(), "SYSLOG_PID=%lld",
                    static_cast<long long>(record.pid), "LIDORA_UID=%lld", static_cast<long long>(record.uid),
                    "LIDORA_SUBSYSTEM=%s", record.subsystem.c_str(), "LIDORA_CATEGORY=%s", record.category.c_str(),
                    nullptr);
}

}  // namespace lidora::vmac
