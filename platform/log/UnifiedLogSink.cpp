#include "platform/log/UnifiedLogSink.h"

#include <systemd/sd-journal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "platform/vmac/VmacPaths.h"

namespace lidora::vmac {

namespace {

// The executable's whole name: /proc/self/comm cuts it at 15 characters.
std::string currentProcessName() {
    std::error_code error;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error && !exe.filename().empty()) {
        return exe.filename().string();
    }
    std::ifstream comm("/proc/self/comm");
    std::string name;
    std::getline(comm, name);
    return name.empty() ? std::string("unknown") : name;
}

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

UnifiedLogSink::UnifiedLogSink(UnifiedLogStore store, bool useJournal)
    : store_(std::move(store)), useJournal_(useJournal), process_(currentProcessName()) {}

std::shared_ptr<UnifiedLogSink> UnifiedLogSink::forCurrentProcess() {
    return std::make_shared<UnifiedLogSink>(UnifiedLogStore(VmacPaths::fromEnvironment().unifiedLog()));
}

bool UnifiedLogSink::journalAvailable() {
    return ::access("/run/systemd/journal/socket", W_OK) == 0;
}

void UnifiedLogSink::write(const LogRecord& record) {
    StoredLogRecord stored;
    stored.microsecondsSinceEpoch =
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::system_clock::now().time_since_epoch())
            .count();
    stored.pid = ::getpid();
    stored.process = process_;
    stored.subsystem = record.subsystem;
    stored.category = record.category;
    stored.level = record.level;
    stored.message = record.message;
    if (auto written = store_.append(stored); !written && !reportedFailure_.exchange(true)) {
        std::fprintf(stderr, "%s: cannot write the unified log: %s\n", process_.c_str(), written.error().c_str());
    }
    if (useJournal_) {
        sd_journal_send("MESSAGE=%s", record.message.c_str(), "PRIORITY=%i", journalPriority(record.level),
                        "SYSLOG_IDENTIFIER=%s", process_.c_str(), "LIDORA_SUBSYSTEM=%s", record.subsystem.c_str(),
                        "LIDORA_CATEGORY=%s", record.category.c_str(), nullptr);
    }
}

}  // namespace lidora::vmac
