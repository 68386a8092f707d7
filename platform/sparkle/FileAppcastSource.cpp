#include "platform/sparkle/FileAppcastSource.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <map>

#include "platform/vmac/AtomicFile.h"

namespace lidora::vmac {

namespace {

constexpr std::string_view kFileScheme = "file://";
// Feeds are small; anything larger is not one.
constexpr std::size_t kMaxFeedBytes = 4U << 20U;

}  // namespace

// Watches the feed's folder; while that is missing, the nearest folder above
// it that exists, moving down as the folders appear.
class FileAppcastSource::Watch {
public:
    Watch(RunLoop& loop, std::filesystem::path file, std::function<void()> changed, Logger logger)
        : file_(std::move(file)), changed_(std::move(changed)), logger_(std::move(logger)) {
        fd_ = FileDescriptor(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
        if (!fd_.valid()) {
            logger_.error("Cannot watch the update feed: %{public}s", systemError("inotify for", file_));
            return;
        }
        arm();
        registration_ = loop.watch(fd_.get(), FdEvent::Readable, [this](unsigned) { drain(); });
    }

private:
    void arm() {
        for (;;) {
            if (descriptor_ >= 0) {
                ::inotify_rm_watch(fd_.get(), descriptor_);
                descriptor_ = -1;
            }
            const auto folder = deepestExistingFolder();
            watchingFeedFolder_ = folder == file_.parent_path();
            constexpr auto kEvents = IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_CREATE | IN_DELETE;
            descriptor_ = ::inotify_add_watch(fd_.get(), folder.c_str(), kEvents);
            if (descriptor_ < 0) {
                logger_.error("Cannot watch the update feed: %{public}s", systemError("cannot watch", folder));
                return;
            }
            // A folder made between the look and the watch sends no event
            // here; look once more, now that nothing can slip past.
            if (watchingFeedFolder_ || deepestExistingFolder() == folder) {
                return;
            }
        }
    }

    [[nodiscard]] std::filesystem::path deepestExistingFolder() const {
        std::error_code error;
        auto folder = file_.parent_path();
        while (!std::filesystem::is_directory(folder, error) && folder.has_relative_path()) {
            folder = folder.parent_path();
        }
        return folder;
    }

    void drain() {
        alignas(inotify_event) std::array<char, 4096> buffer{};
        bool touched = false;
        bool rearm = false;
        for (;;) {
            const auto length = ::read(fd_.get(), buffer.data(), buffer.size());
            if (length <= 0) {
                break;
            }
            for (std::size_t offset = 0; offset < static_cast<std::size_t>(length);) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer.data() + offset);
                if (event->wd == descriptor_ && (event->mask & IN_IGNORED) != 0) {
                    rearm = true;  // the watched folder went away
                } else if (event->len > 0 && event->wd == descriptor_) {
                    if (watchingFeedFolder_) {
                        touched = touched || file_.filename() == event->name;
                    } else {
                        rearm = rearm || (event->mask & IN_ISDIR) != 0;
                    }
                }
                offset += sizeof(inotify_event) + event->len;
            }
        }
        if (rearm) {
            arm();
            // The feed may have come with its folder.
            touched = touched || watchingFeedFolder_;
        }
        if (touched) {
            changed_();
        }
    }

    std::filesystem::path file_;
    std::function<void()> changed_;
    Logger logger_;
    FileDescriptor fd_;
    int descriptor_ = -1;
    bool watchingFeedFolder_ = false;
    Cancellable registration_;
};

namespace {

struct WatchList final : CancelTarget {
    void cancel(std::uint64_t id) override { entries.erase(id); }
    std::map<std::uint64_t, std::unique_ptr<FileAppcastSource::Watch>> entries;
    std::uint64_t nextId = 1;
};

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
    if (!watches_) {
        watches_ = std::make_shared<WatchList>();
    }
    auto& list = static_cast<WatchList&>(*watches_);
    const auto id = list.nextId++;
    list.entries.emplace(id, std::make_unique<Watch>(loop_, file_, std::move(changed), logger_));
    return Cancellable(watches_, id);
}

}  // namespace lidora::vmac
