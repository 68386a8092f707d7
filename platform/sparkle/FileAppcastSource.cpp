#include "sparkle/FileAppcastSource.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <map>

#include "prefs/AtomicFile.h"

namespace lidora::vmac {

namespace {

constexpr std::string_view kFileScheme = "file://";
// Feeds are small; anything larger is not one.
constexpr std::size_t kMaxFeedBytes = 4U << 20U;

}  // namespace

class FileAppcastSource::Watch {
public:
    Watch(RunLoop& loop, const std::filesystem::path& file, std::function<void()> changed, const Logger& logger)
        : name_(file.filename().string()), changed_(std::move(changed)) {
        fd_ = FileDescriptor(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
        if (!fd_.valid()) {
            logger.error("Cannot watch the update feed: %{public}s", systemError("inotify for", file));
            return;
        }
        constexpr auto kEvents = IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_CREATE | IN_DELETE;
        if (::inotify_add_watch(fd_.get(), file.parent_path().c_str(), kEvents) < 0) {
            logger.error("Cannot watch the update feed: %{public}s", systemError("cannot watch", file.parent_path()));
            return;
        }
        registration_ = loop.watch(fd_.get(), FdEvent::Readable, [this](unsigned) { drain(); });
    }

private:
    void drain() {
        alignas(inotify_event) std::array<char, 4096> buffer{};
        bool touched = false;
        for (;;) {
            const auto length = ::read(fd_.get(), buffer.data(), buffer.size());
            if (length <= 0) {
                break;
            }
            for (std::size_t offset = 0; offset < static_cast<std::size_t>(length);) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer.data() + offset);
                if (event->len > 0 && name_ == event->name) {
                    touched = true;
                }
                offset += sizeof(inotify_event) + event->len;
            }
        }
        if (touched) {
            changed_();
        }
    }

    std::string name_;
    std::function<void()> changed_;
    FileDescriptor fd_;
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
