#include "platform/vmac/AtomicFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>
#include <thread>

namespace lidora::vmac {

namespace {

FileIdentity identityOf(const struct stat& info) {
    return FileIdentity{static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino),
                        static_cast<std::int64_t>(info.st_size),
                        static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec};
}

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

// Only makes the rename durable; the new contents are already in place, so
// a folder that cannot be flushed is no reason to report failure.
void flushDirectory(const std::filesystem::path& directory) {
    const FileDescriptor fd(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.valid()) {
        ::fsync(fd.get());
    }
}

}  // namespace

std::string systemError(std::string_view what, const std::filesystem::path& path) {
    const int error = errno;
    return std::string(what) + " " + path.string() + ": " + std::generic_category().message(error);
}

Expected<FileLock, std::string> FileLock::acquire(const std::filesystem::path& lockFile,
                                                  std::chrono::milliseconds wait) {
    const auto folder = lockFile.has_parent_path() ? lockFile.parent_path() : std::filesystem::path(".");
    struct stat folderInfo {};
    if (::stat(folder.c_str(), &folderInfo) != 0) {
        return unexpected(systemError("cannot inspect", folder));
    }
    // Everyone creates entries in a shared folder; the sticky bit keeps them apart.
    const bool shared = (folderInfo.st_mode & S_IWOTH) != 0;
    const bool rootsOwn = folderInfo.st_uid == 0 && !shared;
    // A FIFO planted under the name must not hang the open.
    constexpr int kFlags = O_CLOEXEC | O_NOCTTY | O_NOFOLLOW | O_NONBLOCK;
    FileDescriptor fd(::open(lockFile.c_str(), O_RDWR | O_CREAT | kFlags, rootsOwn ? 0600 : 0666));
    if (!fd.valid() && errno == EACCES && !rootsOwn) {
        fd = FileDescriptor(::open(lockFile.c_str(), O_RDONLY | kFlags));
    }
    if (!fd.valid()) {
        if (errno == ELOOP) {
            return unexpected("refusing the lock file " + lockFile.string() + ": it is a symbolic link");
        }
        return unexpected(systemError("cannot open lock file", lockFile));
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) {
        return unexpected(systemError("cannot inspect", lockFile));
    }
    if (!S_ISREG(info.st_mode)) {
        return unexpected("refusing the lock file " + lockFile.string() + ": it is not a regular file");
    }
    if (::geteuid() == 0 && !shared) {
        if (info.st_uid != folderInfo.st_uid && info.st_uid != 0) {
            return unexpected("refusing the lock file " + lockFile.string() + ": it belongs to uid " +
                              std::to_string(info.st_uid) + ", not to the owner of its folder");
        }
        // Earlier versions made root's lock files 0644: tighten them rather
        // than refuse them. A holder who opened one before waits out below.
        if (rootsOwn && (info.st_mode & 077) != 0 && ::fchmod(fd.get(), 0600) != 0) {
            return unexpected(systemError("cannot make root's lock file private", lockFile));
        }
    }
    const auto deadline = std::chrono::steady_clock::now() + wait;
    std::chrono::milliseconds pause{1};
    while (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR) {
            continue;
        }
        if (errno != EWOULDBLOCK) {
            return unexpected(systemError("cannot lock", lockFile));
        }
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) {
            return unexpected(lockFile.string() + " is locked by another process");
        }
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(pause, deadline - now));
        pause = std::min(pause * 2, std::chrono::milliseconds(50));
    }
    return FileLock(std::move(fd));
}

Expected<std::optional<FileContents>, std::string> readFileIfPresent(const std::filesystem::path& path) {
    // Non-blocking so that a FIFO in the way cannot hang the reader.
    const FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!fd.valid()) {
        if (errno == ENOENT) {
            return std::optional<FileContents>();
        }
        return unexpected(systemError("cannot open", path));
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) {
        return unexpected(systemError("cannot inspect", path));
    }
    if (!S_ISREG(info.st_mode)) {
        return unexpected(path.string() + " is not a regular file");
    }
    FileContents contents{std::string(), identityOf(info)};
    contents.bytes.reserve(static_cast<std::size_t>(info.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t count = ::read(fd.get(), buffer, sizeof buffer);
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            return unexpected(systemError("cannot read", path));
        }
        if (count == 0) {
            break;
        }
        contents.bytes.append(buffer, static_cast<std::size_t>(count));
    }
    return std::optional<FileContents>(std::move(contents));
}

Expected<void, std::string> replaceFileAtomically(const std::filesystem::path& target,
                                                  const std::filesystem::path& temporary, std::string_view bytes,
                                                  mode_t mode, Durability durability) {
    // Whatever a killed writer left under the temporary name goes first, so
    // O_EXCL can make sure we write a fresh file of our own.
    if (::unlink(temporary.c_str()) != 0 && errno != ENOENT) {
        return unexpected(systemError("cannot remove stale", temporary));
    }
    FileDescriptor fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode));
    if (!fd.valid()) {
        return unexpected(systemError("cannot create", temporary));
    }
    auto discard = [&](std::string error) -> Expected<void, std::string> {
        ::unlink(temporary.c_str());
        return unexpected(std::move(error));
    };
    // The umask would otherwise decide who may read the domain.
    if (::fchmod(fd.get(), mode) != 0) {
        return discard(systemError("cannot set the mode of", temporary));
    }
    if (!writeAll(fd.get(), bytes)) {
        return discard(systemError("cannot write", temporary));
    }
    if (durability == Durability::flushed && ::fsync(fd.get()) != 0) {
        return discard(systemError("cannot flush", temporary));
    }
    if (::close(fd.release()) != 0) {
        return discard(systemError("cannot close", temporary));
    }
    if (::rename(temporary.c_str(), target.c_str()) != 0) {
        return discard(systemError("cannot replace", target));
    }
    if (durability == Durability::flushed) {
        flushDirectory(target.parent_path());
    }
    return {};
}

}  // namespace lidora::vmac
