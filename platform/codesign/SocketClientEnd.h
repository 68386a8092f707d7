#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

#include "core/runtime/Expected.h"

namespace lidora::vmac {

// The inode of the other end of a connected Unix socket, asked of the kernel
// (NETLINK_SOCK_DIAG, unix_diag). Fails when the kernel cannot tell.
Expected<std::uint64_t, std::string> clientEndOf(int socket);

// Succeeds when process `pid` holds the socket `inode` on a close-on-exec
// descriptor. Such a descriptor cannot have outlived an exec: one opened
// before an exec is either closed by it or lost the flag's meaning (a
// surviving descriptor never carries it unless the new image set it again),
// so the image running now is the one that opened it.
Expected<void, std::string> checkHeldSinceLastExec(pid_t pid, std::uint64_t inode);

}  // namespace lidora::vmac
