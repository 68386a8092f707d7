#pragma once

#include <functional>
#include <memory>
#include <string>

#include "core/ports/RunLoop.h"
#include "core/runtime/Expected.h"
#include "platform/media/MediaRecords.h"
#include "platform/vmac/FolderWatch.h"

namespace lidora::vmac {

// Follows the media record on the run loop and, after each change another
// process made, tells how it was and how it is. Begins on first use.
class MediaRecordFollower {
public:
    using Changed = std::function<void(const MediaRecords& before, const MediaRecords& after)>;

    MediaRecordFollower(RunLoop& loop, const VmacPaths& paths, Changed changed);
    MediaRecordFollower(const MediaRecordFollower&) = delete;
    MediaRecordFollower& operator=(const MediaRecordFollower&) = delete;

    // Watches first, then reads what later changes compare against, so no
    // change falls in between.
    Expected<void, std::string> begin();

private:
    void recordChanged();

    RunLoop& loop_;
    RecordFile<MediaRecords> record_;
    Changed changed_;
    MediaRecords last_;
    std::unique_ptr<FolderWatch> watch_;
    Cancellable following_;
};

}  // namespace lidora::vmac
