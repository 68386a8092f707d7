#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "core/ports/RunLoop.h"
#include "core/runtime/Expected.h"
#include "platform/vmac/FolderWatch.h"

namespace lidora::vmac {

// Tells when a file was written or replaced, through a watch on its folder,
// so that atomic replacements (a rename over the file) are seen too. The
// folder must exist. Who follows several files of one folder shares one
// FolderWatch instead.
class FileChangeWatch {
public:
    static Expected<std::unique_ptr<FileChangeWatch>, std::string> create(RunLoop& loop,
                                                                          const std::filesystem::path& file,
                                                                          std::function<void()> changed);
    // Use create().
    explicit FileChangeWatch(const std::filesystem::path& folder) : folder_(folder) {}
    FileChangeWatch(const FileChangeWatch&) = delete;
    FileChangeWatch& operator=(const FileChangeWatch&) = delete;

private:
    FolderWatch folder_;
    Cancellable following_;
};

}  // namespace lidora::vmac
