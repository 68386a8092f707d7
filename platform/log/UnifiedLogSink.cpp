#include "platform/log/UnifiedLogSink.h"

#include <unistd.h>

#include <filesystem>

#include "platform/log/LogWire.h"
#include "platform/vmac/VmacPaths.h"

namespace lidora::vmac {

UnifiedLogSink::UnifiedLogSink(std::filesystem::path serviceSocket) : client_(std::move(serviceSocket)) {}

UnifiedLogSink::~UnifiedLogSink() {
    if (unflushed_) {
        flush();
    }
}

std::shared_ptr<UnifiedLogSink> UnifiedLogSink::forCurrentProcess() {
    return std::make_shared<UnifiedLogSink>(logServiceSocket(VmacPaths::fromEnvironment()));
}

void UnifiedLogSink::write(const LogRecord& record) {
    if (client_.send(encodeLogDatagram(record))) {
        unflushed_ = true;
    } else {
        ++dropped_;
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
