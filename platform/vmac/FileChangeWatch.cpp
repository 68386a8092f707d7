#include "platform/vmac/FileChangeWatch.h"

namespace lidora::vmac {

Expected<std::unique_ptr<FileChangeWatch>, std::string> FileChangeWatch::create(RunLoop& loop,
                                                                                const std::filesystem::path& file,
                                                                                std::function<void()> changed) {
    const auto folder = file.parent_path();
    std::error_code error;
    if (!std::filesystem::is_directory(folder, error)) {
        return unexpected("cannot watch " + folder.string() + ": no such folder");
    }
    auto watch = std::make_unique<FileChangeWatch>(folder);
    auto following = watch->folder_.follow(loop, file.filename().string(), std::move(changed));
    if (!following) {
        return unexpected(following.error());
    }
    watch->following_ = std::move(following).value();
    return watch;
}

}  // namespace lidora::vmac
