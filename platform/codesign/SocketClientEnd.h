#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>

#include "core/runtime/Expected.h"
#include "platform/vmac/FileDescriptor.h"

namespace lidora::vmac {

// Asks the kernel (NETLINK_SOCK_DIAG, unix_diag) about Unix sockets, on one
// netlink socket kept open for every question: a daemon asks at each
// connection. Safe to use from several threads, one question at a time.
class SocketDiagnostics {
public:
    // The inode of the other end of a connected Unix socket. Fails when the
    // kernel cannot tell.
    Expected<std::uint64_t, std::string> clientEndOf(int socket) const;

private:
    Expected<std::uint64_t, std::string> ask(std::uint64_t inode) const;

    struct State {
        std::mutex mutex;
        FileDescriptor diag;
        std::uint32_t sequence = 0;
    };
    std::unique_ptr<State> state_ = std::make_unique<State>();
};

// Succeeds when process `pid` holds the socket `inode` on a close-on-exec
// descriptor. Such a descriptor cannot have outlived an exec: one opened
// before an exec is either closed by it or lost the flag's meaning (a
// surviving descriptor never carries it unless the new image set it again),
// so the image running now is the one that opened it. `likely`: descriptor
// numbers to look at first (where the process held its last connections:
// closed numbers are reused); the answer is the number found.
Expected<int, std::string> checkHeldSinceLastExec(pid_t pid, std::uint64_t inode, std::span<const int> likely = {});

}  // namespace lidora::vmac
