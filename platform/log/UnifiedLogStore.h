#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "core/runtime/Expected.h"
#include "core/runtime/Logger.h"
#include "platform/vmac/FileDescriptor.h"

namespace lidora::vmac {

// One stored record of the virtual Mac's unified log.
struct StoredLogRecord {
    std::int64_t microsecondsSinceEpoch = 0;
    std::int64_t pid = 0;
    std::int64_t uid = -1;  // -1: written before the log service stamped senders' users
    std::string process;
    std::string subsystem;
    std::string category;
    LogLevel level = LogLevel::Default;
    std::string message;
};

std::optional<LogLevel> logLevelFromName(std::string_view name);

// One file of the unified log: one JSON object a line, appended under an
// advisory lock so lines of different writers never interleave. Past a size
// limit the file is rotated once, so it cannot grow without bound. Only the
// log service writes it: the file is its owner's, and a symlink or a file of
// another user in its place is refused.
class UnifiedLogStore {
public:
    static constexpr std::uintmax_t kDefaultRotateBytes = std::uintmax_t{4} * 1024 * 1024;

    explicit UnifiedLogStore(std::filesystem::path file, std::uintmax_t rotateBytes = kDefaultRotateBytes);

    Expected<void, std::string> append(const StoredLogRecord& record) const;

    // Records oldest first, the rotated file's before the current one's. Lines
    // that are not records (a torn write, a foreign line) are skipped.
    [[nodiscard]] std::vector<StoredLogRecord> readAll() const;

    [[nodiscard]] const std::filesystem::path& file() const { return file_; }

private:
    // The open file, kept between appends so a busy writer does not reopen
    // it for every line; shared by copies of the store.
    struct OpenFile {
        std::mutex mutex;
        FileDescriptor fd;
    };

    std::filesystem::path file_;
    std::uintmax_t rotateBytes_;
    std::shared_ptr<OpenFile> open_;
};

std::string encodeLogRecord(const StoredLogRecord& record);
std::optional<StoredLogRecord> decodeLogRecord(std::string_view line);

}  // namespace lidora::vmac
