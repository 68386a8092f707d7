#include "platform/media/MediaRecordFollower.h"

namespace lidora::vmac {

MediaRecordFollower::MediaRecordFollower(RunLoop& loop, const VmacPaths& paths, Changed changed)
    : loop_(loop), record_(mediaRecord(paths)), changed_(std::move(changed)) {}

Expected<void, std::string> MediaRecordFollower::begin() {
    if (following_.holdsRegistration()) {
        return {};
    }
    auto watch = std::make_unique<FolderWatch>(record_.file().parent_path());
    auto following = watch->follow(loop_, record_.file().filename().string(), [this] { recordChanged(); });
    if (!following) {
        return unexpected(following.error());
    }
    auto records = record_.read();
    if (!records) {
        return unexpected(records.error());
    }
    last_ = std::move(records).value();
    watch_ = std::move(watch);
    following_ = std::move(following).value();
    return {};
}

void MediaRecordFollower::recordChanged() {
    auto records = record_.read();
    if (!records || *records == last_) {
        return;
    }
    const auto before = std::exchange(last_, std::move(records).value());
    changed_(before, last_);
}

}  // namespace lidora::vmac
