#include "platform/trash/TrashRecycler.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <memory>

#include "platform/trash/TrashName.h"
#include "platform/vmac/FileDescriptor.h"

namespace lidora::vmac {

namespace {

// Enough for one clash name a second for longer than anyone keeps a Trash.
constexpr unsigned kMaxAttempts = 10'000;

std::string quoted(const std::string& name) {
    return "\u201c" + name + "\u201d";
}

// Why a folder could not be reached, worded to follow "because".
struct WalkFailure {
    std::string reason;
    bool missing = false;  // a folder on the way does not exist
};

std::optional<std::filesystem::path> relativeBelow(const std::filesystem::path& root,
                                                   const std::filesystem::path& path) {
    const auto [inRoot, inPath] = std::mismatch(root.begin(), root.end(), path.begin(), path.end());
    if (inRoot != root.end() && !(std::next(inRoot) == root.end() && inRoot->empty())) {
        return std::nullopt;
    }
    std::filesystem::path relative;
    for (auto part = inPath; part != path.end(); ++part) {
        relative /= *part;
    }
    return relative;
}

bool writable(int folder, const char* name) {
    return ::faccessat(folder, name, W_OK | X_OK, AT_EACCESS) == 0;
}

// Why `name` in `folder` could not be opened as a folder, after the fact.
WalkFailure openFailure(int folder, const std::string& name, const std::string& folderName, int error) {
    struct stat info {};
    if (::fstatat(folder, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0) {
        if (S_ISLNK(info.st_mode)) {
            return {quoted(name) + " is a symbolic link"};
        }
        if (!S_ISDIR(info.st_mode)) {
            return {quoted(name) + " is not a folder"};
        }
    }
    if (error == ENOENT) {
        return {quoted(name) + " doesn\u2019t exist", true};
    }
    if (error == EACCES || error == EPERM) {
        return {"you don\u2019t have permission to access " + quoted(folderName)};
    }
    return {"opening " + quoted(name) + " failed (" + std::strerror(error) + ")"};
}

// Opens `folder` (below `root`) as a path descriptor, following no symbolic
// link below the root. Missing folders from the `createFrom`-th part below
// the root on are made, the last one private.
Expected<FileDescriptor, WalkFailure> openFolder(const std::filesystem::path& root, const std::filesystem::path& folder,
                                                 std::size_t createFrom = SIZE_MAX) {
    const auto relative = relativeBelow(root, folder);
    if (!relative) {
        return unexpected(WalkFailure{quoted(folder.string()) + " is outside the Mac"});
    }
    std::vector<std::string> parts;
    for (const auto& part : *relative) {
        if (!part.empty() && part != ".") {
            parts.push_back(part.string());
        }
    }
    // The root itself may be reached through a link: whoever set VMAC_ROOT chose it.
    FileDescriptor current(::open(root.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!current.valid()) {
        const int error = errno;
        return unexpected(WalkFailure{
            "the Mac's root " + quoted(root.string()) + " can\u2019t be opened (" + std::strerror(error) + ")",
            error == ENOENT});
    }
    std::string currentName = root.filename().string();
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const auto& part = parts[i];
        if (part == "..") {
            return unexpected(WalkFailure{quoted(folder.string()) + " leads out of its folder"});
        }
        constexpr int kFlags = O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
        FileDescriptor next(::openat(current.get(), part.c_str(), kFlags));
        if (!next.valid() && errno == ENOENT && i >= createFrom) {
            const mode_t mode = i + 1 == parts.size() ? 0700 : 0755;
            if (::mkdirat(current.get(), part.c_str(), mode) != 0 && errno != EEXIST) {
                return unexpected(openFailure(current.get(), part, currentName, errno));
            }
            next = FileDescriptor(::openat(current.get(), part.c_str(), kFlags));
        }
        if (!next.valid()) {
            return unexpected(openFailure(current.get(), part, currentName, errno));
        }
        current = std::move(next);
        currentName = part;
    }
    return current;
}

bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

std::tm TrashRecycler::localTimeNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    return local;
}

TrashRecycler::TrashRecycler(std::filesystem::path root, std::filesystem::path home, Clock clock)
    : root_(std::filesystem::absolute(root).lexically_normal()),
      trash_((std::filesystem::absolute(home) / ".Trash").lexically_normal()),
      clock_(std::move(clock)) {}

TrashRecycler::TrashRecycler(const VmacPaths& paths, Clock clock)
    : TrashRecycler(paths.root(), paths.homeOfCurrentUser(), std::move(clock)) {}

std::optional<std::string> TrashRecycler::recycle(const std::string& path) {
    auto moved = moveToTrash(path);
    if (!moved) {
        return moved.error();
    }
    return std::nullopt;
}

Expected<std::string, std::string> TrashRecycler::moveToTrash(const std::filesystem::path& path) {
    auto macPath = path.lexically_normal();  // "/.." is "/": nothing leads out of the root
    if (!macPath.has_filename() && macPath.has_relative_path()) {
        macPath = macPath.parent_path();  // "Lidora.app/" is the bundle itself
    }
    const std::string name = macPath.filename().string();
    const auto cannot = [&](const std::string& reason) -> Expected<std::string, std::string> {
        return unexpected(quoted(name.empty() ? path.string() : name) +
                          " couldn\u2019t be moved to the Trash because " + reason + ".");
    };
    if (!macPath.is_absolute()) {
        return cannot("its path is not absolute");
    }
    if (name.empty() || name == "." || name == "..") {
        return cannot("it doesn\u2019t name an item");
    }
    const auto item = root_ / macPath.relative_path();
    if (relativeBelow(item, trash_)) {
        return cannot("the Trash is inside it");
    }
    auto parent = openFolder(root_, item.parent_path());
    if (!parent) {
        return cannot(parent.error().reason);
    }
    struct stat itemInfo {};
    if (::fstatat(parent->get(), name.c_str(), &itemInfo, AT_SYMLINK_NOFOLLOW) != 0) {
        return cannot(errno == ENOENT ? "it doesn\u2019t exist"
                                      : std::string("it can\u2019t be read (") + std::strerror(errno) + ")");
    }
    // The home and its Trash are made when missing; nothing above them is.
    const auto belowRoot = relativeBelow(root_, trash_);
    const std::size_t parts =
        belowRoot ? static_cast<std::size_t>(std::distance(belowRoot->begin(), belowRoot->end())) : 0;
    auto trash = openFolder(root_, trash_, parts >= 2 ? parts - 2 : 0);
    if (!trash) {
        return cannot(trash.error().reason);
    }
    struct stat parentInfo {};
    struct stat trashInfo {};
    if (::fstat(parent->get(), &parentInfo) != 0 || ::fstat(trash->get(), &trashInfo) != 0) {
        return cannot(std::string("its folder can\u2019t be read (") + std::strerror(errno) + ")");
    }
    if (sameFile(parentInfo, trashInfo)) {
        return cannot("it is already in the Trash");
    }
    if (itemInfo.st_dev != trashInfo.st_dev) {
        return cannot("it is on another volume than the Trash");
    }
    const std::tm movedAt = clock_();
    for (unsigned attempt = 0; attempt < kMaxAttempts; ++attempt) {
        const auto candidate = trashName(name, movedAt, attempt);
        if (::renameat2(parent->get(), name.c_str(), trash->get(), candidate.c_str(), RENAME_NOREPLACE) == 0) {
            return candidate;
        }
        int error = errno;
        // A file system without RENAME_NOREPLACE: a second link cannot
        // replace anything either, and is made only for what is no folder.
        if (error == EINVAL && !S_ISDIR(itemInfo.st_mode)) {
            if (::linkat(parent->get(), name.c_str(), trash->get(), candidate.c_str(), 0) == 0) {
                if (::unlinkat(parent->get(), name.c_str(), 0) == 0) {
                    return candidate;
                }
                error = errno;
                ::unlinkat(trash->get(), candidate.c_str(), 0);
            } else {
                error = errno;
            }
        }
        if (error == EEXIST) {
            continue;
        }
        switch (error) {
            case EACCES:
            case EPERM:
                if (!writable(trash->get(), ".")) {
                    return cannot("you don\u2019t have permission to access " + quoted(trash_.filename().string()));
                }
                if (!writable(parent->get(), ".")) {
                    return cannot("you don\u2019t have permission to access " +
                                  quoted(item.parent_path().filename().string()));
                }
                return cannot("you don\u2019t have permission to move it");
            case ENOENT: return cannot("it doesn\u2019t exist");
            case EROFS: return cannot("its volume is read-only");
            case EXDEV: return cannot("it is on another volume than the Trash");
            case EINVAL: return cannot("its volume can\u2019t move it without risking another item of that name");
            default: return cannot(std::string("moving it failed (") + std::strerror(error) + ")");
        }
    }
    return cannot("the Trash already holds too many items of that name");
}

Expected<std::vector<std::string>, std::string> TrashRecycler::list() const {
    auto trash = openFolder(root_, trash_);
    if (!trash) {
        if (trash.error().missing) {
            return std::vector<std::string>();
        }
        return unexpected("The Trash can\u2019t be read because " + trash.error().reason + ".");
    }
    const int listing = ::openat(trash->get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* folder = listing >= 0 ? ::fdopendir(listing) : nullptr;
    if (folder == nullptr) {
        const int error = errno;
        if (listing >= 0) {
            ::close(listing);
        }
        return unexpected(std::string("The Trash can\u2019t be read (") + std::strerror(error) + ").");
    }
    const std::unique_ptr<DIR, int (*)(DIR*)> closing(folder, ::closedir);
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(folder)) {
        const std::string_view entryName(entry->d_name);
        // Finder's own bookkeeping is no item of the user's.
        if (entryName != "." && entryName != ".." && entryName != ".DS_Store") {
            names.emplace_back(entryName);
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace lidora::vmac
