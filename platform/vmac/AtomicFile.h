#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "core/runtime/Expected.h"
#include "platform/vmac/FileDescriptor.h"

namespace lidora::vmac {

// "<what> <path>: <errno text>" for the current errno.
std::string systemError(std::string_view what, const std::filesystem::path& path);

// Long enough to outlast any honest writer, short enough that a caller with
// its own deadline (a helper request) still gets to report why it failed.
inline constexpr std::chrono::milliseconds kLockWait{2000};

// An exclusive advisory lock on a lock file, held until destroyed. The lock
// file stays in place: removing it would let two writers lock different files.
//
// In a folder of root's that others cannot write, the lock file is root's
// alone (0600), so no other user can open it to hold the lock; root refuses
// one that others could open or that someone else owns. Symbolic links are
// never followed. Gives up with an error once `wait` has passed.
class FileLock {
public:
    static Expected<FileLock, std::string> acquire(const std::filesystem::path& lockFile,
                                                   std::chrono::milliseconds wait = kLockWait);

private:
    explicit FileLock(FileDescriptor fd) : fd_(std::move(fd)) {}
    FileDescriptor fd_;
};

// Tells one version of a file from another without reading it.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    std::int64_t modifiedNs = 0;
    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

struct FileContents {
    std::string bytes;
    FileIdentity identity;
};

// Empty when there is no such file. Anything but a regular file is an error.
Expected<std::optional<FileContents>, std::string> readFileIfPresent(const std::filesystem::path& path);

// Whether a replacement must survive a power loss, or only a killed writer.
enum class Durability { flushed, unflushed };

// Replaces `target` so that readers see either its old or its new contents,
// even if this process dies part-way: writes `temporary` in the same folder,
// flushes it to disk, renames it over `target`, flushes the folder. Callers
// hold a lock, so one temporary name per target is enough and a leftover from
// a killed writer is simply reused. Unflushed skips both flushes, for
// bookkeeping that is cheap to lose and written on a hot path.
Expected<void, std::string> replaceFileAtomically(const std::filesystem::path& target,
                                                  const std::filesystem::path& temporary, std::string_view bytes,
                                                  mode_t mode, Durability durability = Durability::flushed);

}  // namespace lidora::vmac
