#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "core/ports/RunLoop.h"
#include "core/runtime/Expected.h"
#include "platform/vmac/FileDescriptor.h"

namespace lidora::vmac {

// Tells when a file was written or replaced, through inotify on its folder,
// so that atomic replacements (a rename over the file) are seen too. The
// folder must exist.
class FileChangeWatch {
public:
    static Expected<std::unique_ptr<FileChangeWatch>, std::string> create(RunLoop& loop,
                                                                          const std::filesystem::path& file,
                                                                          std::function<void()> changed);
    // Use create().
    FileChangeWatch(FileDescriptor fd, std::string name, std::function<void()> changed)
        : fd_(std::move(fd)), name_(std::move(name)), changed_(std::move(changed)) {}
    FileChangeWatch(const FileChangeWatch&) = delete;
    FileChangeWatch& operator=(const FileChangeWatch&) = delete;

private:
    void drain();

    FileDescriptor fd_;
    std::string name_;
    std::function<void()> changed_;
    Cancellable watch_;
};

}  // namespace lidora::vmac
