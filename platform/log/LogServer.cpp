#include "platform/log/LogServer.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

#include "platform/log/LogWire.h"
#include "platform/vmac/AtomicFile.h"

namespace lidora::vmac {

namespace {

// Enough to keep up with a busy Mac; then the loop lets other work run.
constexpr int kDatagramsPerWakeup = 256;

}  // namespace

std::string processNameOf(pid_t pid) {
    std::array<char, 4096> target{};
    const auto link = "/proc/" + std::to_string(pid) + "/exe";
    const auto n = ::readlink(link.c_str(), target.data(), target.size() - 1);
    if (n <= 0) {
        // A process we may not inspect is still there; one that is gone is said so.
        return errno == EACCES || errno == EPERM ? std::string("(unknown)") : std::string(kGoneProcess);
    }
    std::string path(target.data(), static_cast<std::size_t>(n));
    if (path.ends_with(" (deleted)")) {
        path.resize(path.size() - std::strlen(" (deleted)"));
    }
    const auto name = std::filesystem::path(path).filename().string();
    return name.empty() ? std::string(kGoneProcess) : name;
}

Expected<void, std::string> ensureOwnFolder(const std::filesystem::path& folder) {
    if (!makeDirectories(folder.parent_path())) {
        return unexpected(systemError("cannot create", folder.parent_path()));
    }
    if (::mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST) {
        return unexpected(systemError("cannot create", folder));
    }
    struct stat info {};
    if (::lstat(folder.c_str(), &info) != 0) {
        return unexpected(systemError("cannot inspect", folder));
    }
    if (!S_ISDIR(info.st_mode) || info.st_uid != ::geteuid()) {
        return unexpected("refusing " + folder.string() + ": not a folder of this user");
    }
    // An earlier version made the log's folder writable by everyone.
    if (::chmod(folder.c_str(), 0755) != 0) {
        return unexpected(systemError("cannot protect", folder));
    }
    return {};
}

Expected<LogServer, std::string> LogServer::open(const VmacPaths& paths) {
    for (const auto& folder : {paths.unifiedLog(), logServiceFolder(paths)}) {
        if (auto own = ensureOwnFolder(folder); !own) {
            return unexpected(own.error());
        }
    }
    const auto folder = logServiceFolder(paths);
    FileDescriptor lock(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!lock.valid()) {
        return unexpected(systemError("cannot open", folder));
    }
    if (::flock(lock.get(), LOCK_EX | LOCK_NB) != 0) {
        return unexpected(errno == EWOULDBLOCK ? std::string("logd is already running")
                                               : systemError("cannot lock", folder));
    }
    const auto path = logServiceSocket(paths);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.native().size() >= sizeof address.sun_path) {
        return unexpected("socket path too long: " + path.string());
    }
    std::memcpy(address.sun_path, path.c_str(), path.native().size());
    FileDescriptor fd(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!fd.valid()) {
        return unexpected(systemError("cannot create a socket for", path));
    }
    ::unlink(path.c_str());  // a previous run's
    if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        return unexpected(systemError("cannot bind", path));
    }
    const int on = 1;
    const int buffer = 1 << 20;
    if (::setsockopt(fd.get(), SOL_SOCKET, SO_PASSCRED, &on, sizeof on) != 0 || ::chmod(path.c_str(), 0666) != 0) {
        return unexpected(systemError("cannot set up", path));
    }
    ::setsockopt(fd.get(), SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);  // best effort
    return LogServer(std::move(lock), std::move(fd));
}

void LogServer::serve(RunLoop& loop, LogService& service) {
    watch_ = loop.watch(socket_.get(), FdEvent::Readable, [this, &service](unsigned) { drain(service); });
}

void LogServer::drain(LogService& service) const {
    std::array<char, kMaxLogDatagram + 1> data{};
    alignas(cmsghdr) std::array<char, CMSG_SPACE(sizeof(ucred))> control{};
    for (int i = 0; i < kDatagramsPerWakeup; ++i) {
        sockaddr_un from{};
        iovec io{data.data(), data.size()};
        msghdr message{};
        message.msg_name = &from;
        message.msg_namelen = sizeof from;
        message.msg_iov = &io;
        message.msg_iovlen = 1;
        message.msg_control = control.data();
        message.msg_controllen = control.size();
        const auto n = ::recvmsg(socket_.get(), &message, MSG_DONTWAIT | MSG_CMSG_CLOEXEC);
        if (n < 0) {
            return;  // EAGAIN: all read
        }
        std::optional<ucred> credentials;
        for (auto* header = CMSG_FIRSTHDR(&message); header != nullptr; header = CMSG_NXTHDR(&message, header)) {
            if (header->cmsg_level == SOL_SOCKET && header->cmsg_type == SCM_CREDENTIALS &&
                header->cmsg_len == CMSG_LEN(sizeof(ucred))) {
                ucred found{};
                std::memcpy(&found, CMSG_DATA(header), sizeof found);
                credentials = found;
            } else if (header->cmsg_level == SOL_SOCKET && header->cmsg_type == SCM_RIGHTS) {
                // Descriptors nobody asked for are closed, not leaked.
                const auto count = (header->cmsg_len - CMSG_LEN(0)) / sizeof(int);
                for (std::size_t k = 0; k < count; ++k) {
                    int passed = -1;
                    std::memcpy(&passed, CMSG_DATA(header) + k * sizeof(int), sizeof passed);
                    ::close(passed);
                }
            }
        }
        if (!credentials || (message.msg_flags & (MSG_TRUNC | MSG_CTRUNC)) != 0) {
            service.drop();
            continue;
        }
        const LogSender sender{credentials->pid, credentials->uid, processNameOf(credentials->pid)};
        const auto reply = service.handle(std::string_view(data.data(), static_cast<std::size_t>(n)), sender);
        if (reply && message.msg_namelen > sizeof(sa_family_t)) {
            // A sender that does not read its replies loses them; we never wait.
            ::sendto(socket_.get(), reply->data(), reply->size(), MSG_DONTWAIT | MSG_NOSIGNAL,
                     reinterpret_cast<const sockaddr*>(&from), message.msg_namelen);
        }
    }
}

}  // namespace lidora::vmac
