#include "platform/codesign/SocketClientEnd.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <linux/sock_diag.h>
#include <linux/unix_diag.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string_view>

#include "platform/vmac/FileDescriptor.h"

namespace lidora::vmac {

namespace {

std::string errnoText(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

// A proc file small enough to read in one go.
std::string readSmall(const std::string& path) {
    const FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (!fd.valid()) {
        return {};
    }
    char buffer[512];
    const ssize_t count = ::read(fd.get(), buffer, sizeof buffer - 1);
    return count > 0 ? std::string(buffer, static_cast<std::size_t>(count)) : std::string();
}

// The "flags:" line of an fdinfo file, in octal.
std::optional<unsigned long> descriptorFlags(const std::string& fdinfo) {
    const auto at = fdinfo.find("flags:");
    if (at == std::string::npos) {
        return std::nullopt;
    }
    char* end = nullptr;
    const unsigned long flags = std::strtoul(fdinfo.c_str() + at + 6, &end, 8);
    return end == fdinfo.c_str() + at + 6 ? std::nullopt : std::optional(flags);
}

}  // namespace

Expected<std::uint64_t, std::string> SocketDiagnostics::clientEndOf(int socket) const {
    struct stat info {};
    if (::fstat(socket, &info) != 0) {
        return unexpected(errnoText("cannot inspect the connection's socket"));
    }
    const std::lock_guard guard(state_->mutex);
    auto answer = ask(info.st_ino);
    if (!answer) {
        // A late answer must not be taken for the next question's.
        state_->diag.reset();
    }
    return answer;
}

Expected<std::uint64_t, std::string> SocketDiagnostics::ask(std::uint64_t inode) const {
    if (!state_->diag.valid()) {
        FileDescriptor diag(::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG));
        if (!diag.valid()) {
            return unexpected(errnoText("cannot ask the kernel who holds the other end (NETLINK_SOCK_DIAG)"));
        }
        // The kernel answers at once; the limit only bounds a broken one.
        const timeval limit{1, 0};
        ::setsockopt(diag.get(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        state_->diag = std::move(diag);
    }
    struct {
        nlmsghdr header;
        unix_diag_req request;
    } query{};
    query.header.nlmsg_len = sizeof query;
    query.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
    query.header.nlmsg_flags = NLM_F_REQUEST;
    query.header.nlmsg_seq = ++state_->sequence;
    query.request.sdiag_family = AF_UNIX;
    query.request.udiag_states = ~0U;
    query.request.udiag_ino = static_cast<std::uint32_t>(inode);
    query.request.udiag_show = UDIAG_SHOW_PEER;
    query.request.udiag_cookie[0] = ~0U;  // no cookie: look up by inode
    query.request.udiag_cookie[1] = ~0U;
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    const int diag = state_->diag.get();
    if (::sendto(diag, &query, sizeof query, 0, reinterpret_cast<const sockaddr*>(&kernel), sizeof kernel) < 0) {
        return unexpected(errnoText("cannot ask the kernel who holds the other end (unix_diag)"));
    }
    alignas(nlmsghdr) char buffer[4096];
    const ssize_t received = ::recv(diag, buffer, sizeof buffer, 0);
    if (received < 0) {
        return unexpected(errnoText("the kernel did not say who holds the other end (unix_diag)"));
    }
    auto length = static_cast<unsigned>(received);
    for (auto* header = reinterpret_cast<nlmsghdr*>(buffer); NLMSG_OK(header, length);
         header = NLMSG_NEXT(header, length)) {
        if (header->nlmsg_seq != query.header.nlmsg_seq) {
            continue;
        }
        if (header->nlmsg_type == NLMSG_ERROR) {
            const auto* failure = static_cast<const nlmsgerr*>(NLMSG_DATA(header));
            return unexpected(std::string("the kernel cannot say who holds the other end (unix_diag): ") +
                              std::strerror(-failure->error));
        }
        if (header->nlmsg_type != SOCK_DIAG_BY_FAMILY) {
            continue;
        }
        const auto* answer = static_cast<const unix_diag_msg*>(NLMSG_DATA(header));
        if (answer->udiag_ino != static_cast<std::uint32_t>(inode)) {
            continue;
        }
        auto attributesLength = static_cast<unsigned>(NLMSG_PAYLOAD(header, sizeof *answer));
        for (auto* attribute = reinterpret_cast<rtattr*>(const_cast<unix_diag_msg*>(answer) + 1);
             RTA_OK(attribute, attributesLength); attribute = RTA_NEXT(attribute, attributesLength)) {
            if (attribute->rta_type == UNIX_DIAG_PEER && RTA_PAYLOAD(attribute) >= sizeof(std::uint32_t)) {
                std::uint32_t peer = 0;
                std::memcpy(&peer, RTA_DATA(attribute), sizeof peer);
                return std::uint64_t{peer};
            }
        }
        return unexpected(std::string("the connection has no other end any more"));
    }
    return unexpected(std::string("the kernel gave no answer about the connection (unix_diag)"));
}

Expected<int, std::string> checkHeldSinceLastExec(pid_t pid, std::uint64_t inode, std::span<const int> likely) {
    const std::string proc = "/proc/" + std::to_string(pid);
    const std::string wanted = "socket:[" + std::to_string(inode) + "]";
    // One look where it probably is spares listing every descriptor; what
    // counts is the same either way: that number, now, is this socket,
    // held with close-on-exec.
    for (const int number : likely) {
        if (number < 0) {
            continue;
        }
        const auto name = std::to_string(number);
        char target[64];
        const ssize_t size = ::readlink((proc + "/fd/" + name).c_str(), target, sizeof target);
        if (size > 0 && std::string_view(target, static_cast<std::size_t>(size)) == wanted) {
            const auto flags = descriptorFlags(readSmall(proc + "/fdinfo/" + name));
            if (flags && (*flags & O_CLOEXEC) != 0) {
                return number;
            }
            break;  // held there without the flag: the full look decides
        }
    }
    const FileDescriptor fds(::open((proc + "/fd").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fds.valid()) {
        return unexpected(errnoText("cannot list the descriptors of pid " + std::to_string(pid)));
    }
    // Read straight from the folder's descriptor: this runs at every
    // connection, and a DIR stream would cost five more calls. A new socket
    // takes the lowest free number, so the first batch usually holds it.
    bool heldAcrossExec = false;
    alignas(dirent64) char entries[8192];
    for (;;) {
        const ssize_t count = ::getdents64(fds.get(), entries, sizeof entries);
        if (count < 0) {
            return unexpected(errnoText("cannot list the descriptors of pid " + std::to_string(pid)));
        }
        if (count == 0) {
            break;
        }
        for (ssize_t at = 0; at < count;) {
            const auto* entry = reinterpret_cast<const dirent64*>(entries + at);
            at += entry->d_reclen;
            // The link's text, not a stat through it: a stat would reach
            // whatever file the peer holds, one a FUSE server may never answer for.
            char target[64];
            const ssize_t size =
                entry->d_name[0] == '.' ? 0 : ::readlinkat(fds.get(), entry->d_name, target, sizeof target);
            if (size <= 0 || std::string_view(target, static_cast<std::size_t>(size)) != wanted) {
                continue;
            }
            const auto flags = descriptorFlags(readSmall(proc + "/fdinfo/" + entry->d_name));
            if (flags && (*flags & O_CLOEXEC) != 0) {
                return std::atoi(entry->d_name);
            }
            heldAcrossExec = true;
        }
    }
    if (heldAcrossExec) {
        return unexpected("pid " + std::to_string(pid) +
                          " holds the connection without close-on-exec, as one kept across an exec would be");
    }
    return unexpected("pid " + std::to_string(pid) +
                      " does not hold the connection it made (it ran another program or handed it on)");
}

}  // namespace lidora::vmac
