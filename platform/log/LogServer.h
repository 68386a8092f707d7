#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

#include "core/ports/RunLoop.h"
#include "platform/log/LogService.h"
#include "platform/vmac/FileDescriptor.h"
#include "platform/vmac/VmacPaths.h"

namespace lidora::vmac {

// The log service's socket: a Unix datagram socket that every user may
// write to, with SO_PASSCRED so that each datagram carries the sender's pid
// and uid from the kernel. Datagrams are handled in the order they queued.
class LogServer {
public:
    // Prepares the service's folders (its user's, not writable by others)
    // and binds the socket, replacing a stale one.
    static Expected<LogServer, std::string> open(const VmacPaths& paths);

    LogServer(LogServer&&) noexcept = default;
    LogServer& operator=(LogServer&&) noexcept = default;

    // Handles datagrams as they come until the watch is dropped.
    void serve(RunLoop& loop, LogService& service);

    [[nodiscard]] int fd() const { return socket_.get(); }

private:
    LogServer(FileDescriptor lock, FileDescriptor socket) : lock_(std::move(lock)), socket_(std::move(socket)) {}
    void drain(LogService& service) const;

    FileDescriptor lock_;
    FileDescriptor socket_;
    Cancellable watch_;
};

// The executable name of a running process, or kGoneProcess.
std::string processNameOf(pid_t pid);

// A folder that the current user alone writes: created if missing, else it
// must be a real folder (no symlink) of this user; made 0755.
Expected<void, std::string> ensureOwnFolder(const std::filesystem::path& folder);

}  // namespace lidora::vmac
