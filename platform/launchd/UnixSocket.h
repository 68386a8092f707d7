#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>

#include "core/runtime/Expected.h"
#include "platform/vmac/AtomicFile.h"

namespace lidora::vmac {

// A listening Unix stream socket for a path. It listens under a temporary
// name first and publish() renames it into place, so a stale socket is
// replaced at once and clients never find the path missing or dead. When
// destroyed it removes its path, unless another socket has taken it since.
// Move-only.
class ListeningSocket {
public:
    static constexpr int kBacklog = 128;

    static Expected<ListeningSocket, std::string> listen(const std::filesystem::path& path, mode_t mode);

    ListeningSocket(ListeningSocket&& other) noexcept;
    ListeningSocket& operator=(ListeningSocket&& other) noexcept;
    ~ListeningSocket();

    Expected<void, std::string> publish();

    [[nodiscard]] int fd() const { return fd_.get(); }
    [[nodiscard]] const std::filesystem::path& path() const { return path_; }

    // Accepts and closes every connection already waiting, so that their
    // clients see the connection fail instead of waiting. Returns how many.
    int refuseWaiting() const;

private:
    ListeningSocket(FileDescriptor fd, std::filesystem::path path, std::filesystem::path bound)
        : fd_(std::move(fd)), path_(std::move(path)), bound_(std::move(bound)) {}
    void removePath();

    FileDescriptor fd_;
    std::filesystem::path path_;
    std::filesystem::path bound_;  // where the socket is now: temporary, then path_
    dev_t device_ = 0;
    ino_t inode_ = 0;
};

// A connected client socket, or an error saying why not; `refused` tells a
// missing or dead socket from other failures.
struct ConnectError {
    bool refused = false;
    std::string message;
};
Expected<FileDescriptor, ConnectError> connectUnix(const std::filesystem::path& path);

}  // namespace lidora::vmac
