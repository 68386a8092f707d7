#include "platform/launchd/UnixSocket.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace lidora::vmac {

namespace {

Expected<sockaddr_un, std::string> addressOf(const std::filesystem::path& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const auto& text = path.native();
    if (text.size() >= sizeof address.sun_path) {
        return unexpected("the socket path " + text + " is longer than " + std::to_string(sizeof address.sun_path - 1) +
                          " bytes");
    }
    std::memcpy(address.sun_path, text.c_str(), text.size() + 1);
    return address;
}

}  // namespace

Expected<ListeningSocket, std::string> ListeningSocket::listen(const std::filesystem::path& path, mode_t mode) {
    if (auto final = addressOf(path); !final) {
        return unexpected(final.error());
    }
    auto temporary = path;
    temporary += ".new";
    auto address = addressOf(temporary);
    if (!address) {
        return unexpected(address.error());
    }
    FileDescriptor fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd.valid()) {
        return unexpected(systemError("cannot create a socket for", path));
    }
    ::unlink(temporary.c_str());
    if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(&*address), sizeof *address) != 0) {
        return unexpected(systemError("cannot bind", temporary));
    }
    ListeningSocket socket(std::move(fd), path, temporary);
    struct stat info {};
    if (::stat(temporary.c_str(), &info) != 0) {
        return unexpected(systemError("cannot inspect", temporary));
    }
    socket.device_ = info.st_dev;
    socket.inode_ = info.st_ino;
    // Set on the path rather than through the umask, which is process-wide.
    if (::chmod(temporary.c_str(), mode) != 0) {
        return unexpected(systemError("cannot set the mode of", temporary));
    }
    if (::listen(socket.fd(), kBacklog) != 0) {
        return unexpected(systemError("cannot listen on", temporary));
    }
    return socket;
}

Expected<void, std::string> ListeningSocket::publish() {
    if (bound_ == path_) {
        return {};
    }
    if (::rename(bound_.c_str(), path_.c_str()) != 0) {
        return unexpected(systemError("cannot move the socket to", path_));
    }
    bound_ = path_;
    return {};
}

ListeningSocket::ListeningSocket(ListeningSocket&& other) noexcept
    : fd_(std::move(other.fd_)),
      path_(std::move(other.path_)),
      bound_(std::exchange(other.bound_, {})),
      device_(other.device_),
      inode_(other.inode_) {}

ListeningSocket& ListeningSocket::operator=(ListeningSocket&& other) noexcept {
    if (this != &other) {
        removePath();
        fd_ = std::move(other.fd_);
        path_ = std::move(other.path_);
        bound_ = std::exchange(other.bound_, {});
        device_ = other.device_;
        inode_ = other.inode_;
    }
    return *this;
}

ListeningSocket::~ListeningSocket() {
    removePath();
}

void ListeningSocket::removePath() {
    if (bound_.empty()) {
        return;
    }
    struct stat info {};
    if (::lstat(bound_.c_str(), &info) == 0 && info.st_dev == device_ && info.st_ino == inode_) {
        ::unlink(bound_.c_str());
    }
    bound_.clear();
}

int ListeningSocket::refuseWaiting() const {
    // Non-blocking only for the moment: the program shares this socket and
    // expects it blocking. No instance runs while this is called.
    const int flags = ::fcntl(fd_.get(), F_GETFL);
    ::fcntl(fd_.get(), F_SETFL, flags | O_NONBLOCK);
    int refused = 0;
    for (;;) {
        const int connection = ::accept4(fd_.get(), nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0) {
            if (errno == EINTR || errno == ECONNABORTED) {
                continue;
            }
            break;
        }
        ::close(connection);
        ++refused;
    }
    ::fcntl(fd_.get(), F_SETFL, flags);
    return refused;
}

Expected<FileDescriptor, ConnectError> connectUnix(const std::filesystem::path& path) {
    auto address = addressOf(path);
    if (!address) {
        return unexpected(ConnectError{false, address.error()});
    }
    FileDescriptor fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd.valid()) {
        return unexpected(ConnectError{false, systemError("cannot create a socket for", path)});
    }
    if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&*address), sizeof *address) != 0) {
        const bool refused = errno == ENOENT || errno == ECONNREFUSED;
        return unexpected(ConnectError{refused, systemError("cannot connect to", path)});
    }
    return fd;
}

}  // namespace lidora::vmac
