#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "core/ports/RunLoop.h"
#include "core/runtime/Logger.h"
#include "platform/sparkle/AppcastSource.h"
#include "platform/vmac/FolderWatch.h"
#include "platform/vmac/VmacPaths.h"

namespace lidora::vmac {

// A feed in a local file, watched on its folder, so that a feed
// replaced by rename is noticed as well as one written in place.
class FileAppcastSource final : public AppcastSource {
public:
    FileAppcastSource(RunLoop& loop, std::filesystem::path file, Logger logger = {});
    FileAppcastSource(const FileAppcastSource&) = delete;
    FileAppcastSource& operator=(const FileAppcastSource&) = delete;
    ~FileAppcastSource() override;

    // A file: URL names a path of the virtual Mac, under its root.
    static Expected<std::filesystem::path, std::string> pathOfFeedURL(const VmacPaths& paths, const std::string& url);

    [[nodiscard]] Expected<std::string, std::string> fetch() override;
    [[nodiscard]] Cancellable watchChanges(std::function<void()> changed) override;
    [[nodiscard]] std::string address() const override { return file_.string(); }

private:
    RunLoop& loop_;
    std::filesystem::path file_;
    Logger logger_;
    std::unique_ptr<FolderWatch> folder_;
};

}  // namespace lidora::vmac
