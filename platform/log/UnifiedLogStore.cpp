#include "platform/log/UnifiedLogStore.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <nlohmann/json.hpp>

#include "platform/vmac/VmacPaths.h"

namespace lidora::vmac {

std::optional<LogLevel> logLevelFromName(std::string_view name) {
    for (const auto level : {LogLevel::Default, LogLevel::Info, LogLevel::Debug, LogLevel::Error, LogLevel::Fault}) {
        if (logLevelName(level) == name) {
            return level;
        }
    }
    return std::nullopt;
}

std::string encodeLogRecord(const StoredLogRecord& record) {
    const nlohmann::json line = {
        {"time", record.microsecondsSinceEpoch},
        {"pid", record.pid},
        {"uid", record.uid},
        {"process", record.process},
        {"subsystem", record.subsystem},
        {"category", record.category},
        {"level", std::string(logLevelName(record.level))},
        {"message", record.message},
    };
    // Invalid UTF-8 in a message must not make the record unwritable.
    return line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::optional<StoredLogRecord> decodeLogRecord(std::string_view line) {
    const auto json = nlohmann::json::parse(line, nullptr, false);
    if (!json.is_object()) {
        return std::nullopt;
    }
    try {
        StoredLogRecord record;
        record.microsecondsSinceEpoch = json.at("time").get<std::int64_t>();
        record.pid = json.at("pid").get<std::int64_t>();
        record.uid = json.value("uid", std::int64_t{-1});
        record.process = json.at("process").get<std::string>();
        record.subsystem = json.at("subsystem").get<std::string>();
        record.category = json.at("category").get<std::string>();
        record.message = json.at("message").get<std::string>();
        const auto level = logLevelFromName(json.at("level").get<std::string>());
        if (!level) {
            return std::nullopt;
        }
        record.level = *level;
        return record;
    } catch (const nlohmann::json::exception&) {
        return std::nullopt;
    }
}

namespace {

std::string errnoText(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

}  // namespace

UnifiedLogStore::UnifiedLogStore(std::filesystem::path file, std::uintmax_t rotateBytes)
    : file_(std::move(file)), rotateBytes_(rotateBytes), open_(std::make_shared<OpenFile>()) {}

Expected<void, std::string> UnifiedLogStore::append(const StoredLogRecord& record) const {
    const std::string line = encodeLogRecord(record) + "\n";
    const std::lock_guard guard(open_->mutex);
    FileDescriptor& fd = open_->fd;
    // A few tries: another process may rotate the file under us.
    for (int attempt = 0; attempt < 4; ++attempt) {
        if (!fd.valid()) {
            if (!makeDirectories(file_.parent_path())) {
                return unexpected(errnoText("cannot create " + file_.parent_path().string()));
            }
            fd.reset(::open(file_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY, 0644));
            if (!fd.valid()) {
                return unexpected(errnoText("cannot open " + file_.string()));
            }
            // An earlier version left the file writable by everyone.
            struct stat opened {};
            if (::fstat(fd.get(), &opened) != 0 || !S_ISREG(opened.st_mode) || opened.st_uid != geteuid() ||
                ::fchmod(fd.get(), 0644) != 0) {
                fd.reset();
                return unexpected("refusing " + file_.string() + ": not a plain file of this user");
            }
        }
        if (::flock(fd.get(), LOCK_EX) != 0) {
            return unexpected(errnoText("cannot lock " + file_.string()));
        }
        struct stat info {};
        struct stat current {};
        const bool stillCurrent = ::fstat(fd.get(), &info) == 0 && ::stat(file_.c_str(), &current) == 0 &&
                                  current.st_ino == info.st_ino && current.st_dev == info.st_dev;
        if (stillCurrent && static_cast<std::uintmax_t>(info.st_size) >= rotateBytes_) {
            auto rotated = file_;
            rotated += ".1";
            ::rename(file_.c_str(), rotated.c_str());
        }
        if (!stillCurrent || static_cast<std::uintmax_t>(info.st_size) >= rotateBytes_) {
            fd.reset();  // closing drops the lock
            continue;
        }
        std::size_t written = 0;
        while (written < line.size()) {
            const auto n = ::write(fd.get(), line.data() + written, line.size() - written);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0) {
                const auto failure = errnoText("cannot write " + file_.string());
                ::flock(fd.get(), LOCK_UN);
                return unexpected(failure);
            }
            written += static_cast<std::size_t>(n);
        }
        ::flock(fd.get(), LOCK_UN);
        return {};
    }
    return unexpected("cannot append to " + file_.string() + ": it keeps being rotated");
}

std::vector<StoredLogRecord> UnifiedLogStore::readAll() const {
    std::vector<StoredLogRecord> records;
    auto rotated = file_;
    rotated += ".1";
    for (const auto& path : {rotated, file_}) {
        std::ifstream in(path);
        std::string line;
        while (std::getline(in, line)) {
            if (auto record = decodeLogRecord(line)) {
                records.push_back(std::move(*record));
            }
        }
    }
    return records;
}

}  // namespace lidora::vmac
