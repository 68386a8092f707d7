#include "platform/log/UnifiedLogFolder.h"

#include <algorithm>
#include <charconv>

namespace lidora::vmac {

namespace {

constexpr std::string_view kPrefix = "uid-";
constexpr std::string_view kSuffix = ".jsonl";

bool isUserFile(const std::string& name) {
    if (!name.starts_with(kPrefix) || !name.ends_with(kSuffix)) {
        return false;
    }
    const std::string_view digits(name.data() + kPrefix.size(), name.size() - kPrefix.size() - kSuffix.size());
    unsigned long uid = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), uid);
    return !digits.empty() && error == std::errc() && end == digits.data() + digits.size();
}

}  // namespace

UnifiedLogFolder::UnifiedLogFolder(std::filesystem::path folder, std::uintmax_t rotateBytes)
    : folder_(std::move(folder)), rotateBytes_(rotateBytes) {}

std::filesystem::path UnifiedLogFolder::fileOf(uid_t uid) const {
    return folder_ / (std::string(kPrefix) + std::to_string(uid) + std::string(kSuffix));
}

Expected<void, std::string> UnifiedLogFolder::append(const StoredLogRecord& record) {
    const auto uid = static_cast<uid_t>(record.uid);
    auto store = stores_.find(uid);
    if (store == stores_.end()) {
        store = stores_.emplace(uid, UnifiedLogStore(fileOf(uid), rotateBytes_)).first;
    }
    return store->second.append(record);
}

std::vector<StoredLogRecord> UnifiedLogFolder::readAll() const {
    std::vector<StoredLogRecord> records;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder_, error)) {
        if (isUserFile(entry.path().filename().string())) {
            auto some = UnifiedLogStore(entry.path()).readAll();
            records.insert(records.end(), std::make_move_iterator(some.begin()), std::make_move_iterator(some.end()));
        }
    }
    std::stable_sort(records.begin(), records.end(),
                     [](const auto& a, const auto& b) { return a.microsecondsSinceEpoch < b.microsecondsSinceEpoch; });
    return records;
}

}  // namespace lidora::vmac
