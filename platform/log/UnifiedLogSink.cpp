#include "platform/log/UnifiedLogSink.h"

#include <systemd/sd-journal.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/log/LogWire.h"
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

UnifiedLogSink::UnifiedLogSink(std::filesystem::path serviceSocket, bool useJournal)
    : client_(std::move(serviceSocket)), useJournal_(useJournal), process_(currentProcessName()) {}

UnifiedLogSink::~UnifiedLogSink() {
    if (unflushed_) {
        flush();
    }
}

std::shared_ptr<UnifiedLogSink> UnifiedLogSink::forCurrentProcess() {
    return std::make_shared<UnifiedLogSink>(logServiceSocket(VmacPaths::fromEnvironment()));
}

bool UnifiedLogSink::journalAvailable() {
    return ::access("/run/systemd/journal/socket", W_OK) == 0;
}

void UnifiedLogSink::write(const LogRecord& record) {
    if (client_.send(encodeLogDatagram(record))) {
        unflushed_ = true;
    } else {
        ++dropped_;
    }
    if (useJournal_) {
        sd_journal_send("MESSAGE=%s", record.message.c_str(), "PRIORITY=%i", journalPriority(record.level),
                        "SYSLOG_IDENTIFIER=%s", process_.c_str(), "LIDORA_SUBSYSTEM=%s", record.subsystem.c_str(),
                        "LIDORA_CATEGORY=%s", record.category.c_str(), nullptr);
    }
}

bool UnifiedLogSink::deliverKept() {
    if (!client_.deliverKept()) {
        return false;
    }
    unflushed_ = true;
    return true;
}

bool UnifiedLogSink::flush(std::chrono::milliseconds limit) {
    unflushed_ = false;
    return client_.sync(limit);
}

}  // namespace lidora::vmac
