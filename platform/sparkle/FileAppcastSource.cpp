#include "platform/sparkle/FileAppcastSource.h"

#include "platform/vmac/AtomicFile.h"

namespace lidora::vmac {

namespace {

constexpr std::string_view kFileScheme = "file://";
// Feeds are small; anything larger is not one.
constexpr std::size_t kMaxFeedBytes = 4U << 20U;

}  // namespace

FileAppcastSource::FileAppcastSource(RunLoop& loop, std::filesystem::path file, Logger logger)
    : loop_(loop), file_(std::move(file)), logger_(std::move(logger)) {}

FileAppcastSource::~FileAppcastSource() = default;

Expected<std::filesystem::path, std::string> FileAppcastSource::pathOfFeedURL(const VmacPaths& paths,
                                                                              const std::string& url) {
    if (url.rfind(kFileScheme, 0) != 0) {
        return unexpected("the feed " + url + " is not a file: URL; the virtual Mac reads only local feeds");
    }
    const std::filesystem::path path(url.substr(kFileScheme.size()));
    if (!path.is_absolute() || path.filename().empty()) {
        return unexpected("the feed " + url + " names no absolute file");
    }
    return paths.systemPath(path);
}

Expected<std::string, std::string> FileAppcastSource::fetch() {
    const auto contents = readFileIfPresent(file_);
    if (!contents) {
        return unexpected(contents.error());
    }
    if (!*contents) {
        return unexpected("the update feed " + file_.string() + " does not exist");
    }
    if ((*contents)->bytes.size() > kMaxFeedBytes) {
        return unexpected("the update feed " + file_.string() + " is too large to be an appcast");
    }
    return std::move((*contents)->bytes);
}

Cancellable FileAppcastSource::watchChanges(std::function<void()> changed) {
    if (!folder_) {
        // Follows the folder down as it appears: the feed may come with it.
        folder_ = std::make_unique<FolderWatch>(file_.parent_path());
    }
    auto following = folder_->follow(loop_, file_.filename().string(), std::move(changed));
    if (!following) {
        logger_.error("Cannot watch the update feed: %{public}s", following.error());
        return {};
    }
    return std::move(following).value();
}

}  // namespace lidora::vmac
