#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "core/runtime/Expected.h"
#include "platform/log/UnifiedLogStore.h"

namespace lidora::vmac {

// The unified log as the log service keeps it: one file per sending user,
// each with its own size limit and one rotation, so a flood from one user
// rotates away only that user's own records.
class UnifiedLogFolder {
public:
    explicit UnifiedLogFolder(std::filesystem::path folder,
                              std::uintmax_t rotateBytes = UnifiedLogStore::kDefaultRotateBytes);

    // Stores `record` in the file of its uid.
    Expected<void, std::string> append(const StoredLogRecord& record);

    // Every user's records merged oldest first; records of one user keep
    // their order.
    [[nodiscard]] std::vector<StoredLogRecord> readAll() const;

    [[nodiscard]] std::filesystem::path fileOf(uid_t uid) const;
    [[nodiscard]] const std::filesystem::path& folder() const { return folder_; }

private:
    std::filesystem::path folder_;
    std::uintmax_t rotateBytes_;
    std::map<uid_t, UnifiedLogStore> stores_;
};

}  // namespace lidora::vmac
