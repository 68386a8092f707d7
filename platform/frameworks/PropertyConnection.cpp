#include "platform/frameworks/PropertyConnection.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <cerrno>
#include <cstring>

#include "platform/corebrightness/PropertyWire.h"

namespace lidora::vmac {

std::optional<std::string> PropertyConnection::exchange(std::string_view requestLine) {
    const auto deadline = std::chrono::steady_clock::now() + timeout_;
    const bool reused = fd_.valid();
    if (!reused && !connect()) {
        return std::nullopt;
    }
    auto reply = tryExchange(requestLine, deadline);
    if (!reply && reused && std::chrono::steady_clock::now() < deadline) {
        // The daemon that had this connection is gone; its successor
        // answers on a new one.
        if (!connect()) {
            return std::nullopt;
        }
        reply = tryExchange(requestLine, deadline);
    }
    return reply;
}

bool PropertyConnection::connect() {
    fd_.reset(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!fd_.valid()) {
        return false;
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const auto& path = socket_.native();
    if (path.size() >= sizeof(address.sun_path)) {
        fd_.reset();
        return false;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    // launchd holds the listening socket, so this succeeds at once, even
    // while the daemon itself is being restarted.
    if (::connect(fd_.get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0 &&
        errno != EINPROGRESS) {
        fd_.reset();
        return false;
    }
    return true;
}

std::optional<std::string> PropertyConnection::tryExchange(std::string_view requestLine, Deadline deadline) {
    std::size_t sent = 0;
    while (sent < requestLine.size()) {
        const auto written = ::send(fd_.get(), requestLine.data() + sent, requestLine.size() - sent, MSG_NOSIGNAL);
        if (written > 0) {
            sent += static_cast<std::size_t>(written);
        } else if (written < 0 && errno == EINTR) {
            continue;
        } else if (written < 0 && errno == EAGAIN && waitFor(POLLOUT, deadline)) {
            continue;
        } else {
            fd_.reset();
            return std::nullopt;
        }
    }
    std::string reply;
    char buffer[4096];
    for (;;) {
        const auto received = ::recv(fd_.get(), buffer, sizeof(buffer), 0);
        if (received > 0) {
            reply.append(buffer, static_cast<std::size_t>(received));
            if (const auto end = reply.find('\n'); end != std::string::npos) {
                // One request is in flight at a time, so nothing follows.
                reply.resize(end);
                return reply;
            }
            if (reply.size() > kMaxPropertyLine) {
                break;
            }
        } else if (received < 0 && errno == EINTR) {
            continue;
        } else if (received < 0 && errno == EAGAIN && waitFor(POLLIN, deadline)) {
            continue;
        } else {
            break;
        }
    }
    fd_.reset();
    return std::nullopt;
}

bool PropertyConnection::waitFor(short events, Deadline deadline) const {
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return false;
        }
        pollfd entry{fd_.get(), events, 0};
        const int ready = ::poll(&entry, 1, static_cast<int>(left.count()) + 1);
        if (ready > 0) {
            return true;
        }
        if (ready < 0 && errno != EINTR) {
            return false;
        }
    }
}

}  // namespace lidora::vmac
