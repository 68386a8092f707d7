#include "platform/log/LogServiceClient.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

#include "platform/log/LogWire.h"

namespace lidora::vmac {

namespace {

int millisecondsUntil(std::chrono::steady_clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

bool waitFor(int fd, short events, std::chrono::steady_clock::time_point deadline) {
    pollfd entry{fd, events, 0};
    int ready = 0;
    do {
        ready = ::poll(&entry, 1, millisecondsUntil(deadline));
    } while (ready < 0 && errno == EINTR);
    return ready > 0;
}

}  // namespace

LogServiceClient::LogServiceClient(std::filesystem::path socket, std::chrono::milliseconds sendWait)
    : socket_(std::move(socket)), sendWait_(sendWait), nextToken_(static_cast<std::uint64_t>(::getpid()) << 32U) {}

bool LogServiceClient::connected() {
    if (fd_.valid()) {
        return true;
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socket_.native().size() >= sizeof address.sun_path) {
        return false;
    }
    std::memcpy(address.sun_path, socket_.c_str(), socket_.native().size());
    FileDescriptor fd(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    // An address of our own (the kernel picks an abstract one) for the replies to syncs.
    sockaddr_un any{};
    any.sun_family = AF_UNIX;
    if (!fd.valid() || ::bind(fd.get(), reinterpret_cast<const sockaddr*>(&any), sizeof(sa_family_t)) != 0 ||
        ::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        return false;
    }
    fd_ = std::move(fd);
    return true;
}

bool LogServiceClient::sendLocked(std::string_view datagram, std::chrono::steady_clock::time_point deadline,
                                  bool patient) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!connected()) {
            return false;
        }
        while (true) {
            if (::send(fd_.get(), datagram.data(), datagram.size(), MSG_DONTWAIT | MSG_NOSIGNAL) >= 0) {
                congested_ = false;
                return true;
            }
            if (errno == EINTR) {
                continue;
            }
            // Once a wait ran out, later records go or are dropped at once
            // until the service keeps up again: a flood by someone else must
            // not stall this process on every record.
            if (errno != EAGAIN || (congested_ && !patient) || std::chrono::steady_clock::now() >= deadline ||
                !waitFor(fd_.get(), POLLOUT, deadline)) {
                break;
            }
        }
        if (errno == EAGAIN) {
            congested_ = true;
            return false;  // busy past the wait: dropped
        }
        fd_.reset();  // the service restarted: its new socket needs a new connection
    }
    return false;
}

bool LogServiceClient::send(std::string_view datagram) {
    std::function<void()> firstKept;
    {
        const std::lock_guard guard(mutex_);
        const auto deadline = std::chrono::steady_clock::now() + sendWait_;
        if (sendKept(deadline) && sendLocked(datagram, deadline, false)) {
            return true;
        }
        // Not there yet (a flood is not kept: that is the point of dropping).
        if (!congested_) {
            const bool noneKept = kept_.empty();
            keep(datagram);
            if (noneKept && !kept_.empty()) {
                firstKept = onKept_;
            }
        }
    }
    if (firstKept) {
        firstKept();
    }
    return false;
}

bool LogServiceClient::deliverKept() {
    const std::lock_guard guard(mutex_);
    return sendKept(std::chrono::steady_clock::now() + sendWait_);
}

void LogServiceClient::setKeptHandler(std::function<void()> handler) {
    const std::lock_guard guard(mutex_);
    onKept_ = std::move(handler);
}

bool LogServiceClient::sendKept(std::chrono::steady_clock::time_point deadline) {
    while (!kept_.empty()) {
        if (!sendLocked(kept_.front(), deadline, false)) {
            return false;
        }
        keptBytes_ -= kept_.front().size();
        kept_.pop_front();
    }
    return true;
}

void LogServiceClient::keep(std::string_view datagram) {
    if (keptBytes_ + datagram.size() > kMaxKeptBytes) {
        return;  // the oldest are the ones worth keeping: how it all started
    }
    kept_.emplace_back(datagram);
    keptBytes_ += datagram.size();
}

bool LogServiceClient::sync(std::chrono::milliseconds limit) {
    const std::lock_guard guard(mutex_);
    const auto deadline = std::chrono::steady_clock::now() + limit;
    const auto token = ++nextToken_;
    if (!sendKept(deadline) || !sendLocked(encodeLogSync(token), deadline, true)) {
        return false;
    }
    std::array<char, 256> reply{};
    while (waitFor(fd_.get(), POLLIN, deadline)) {
        const auto n = ::recv(fd_.get(), reply.data(), reply.size(), MSG_DONTWAIT);
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return false;
        }
        // Answers to earlier syncs that gave up are passed over.
        if (n > 0 && decodeLogSyncReply(std::string_view(reply.data(), static_cast<std::size_t>(n))) == token) {
            return true;
        }
    }
    return false;
}

}  // namespace lidora::vmac
