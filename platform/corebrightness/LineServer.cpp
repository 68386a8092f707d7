#include "platform/corebrightness/LineServer.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>

namespace lidora::vmac {

namespace {

// Replies are small; a client that does not take one within this long is
// not reading.
constexpr int kReplyTimeoutMs = 1000;

}  // namespace

LineServer::LineServer(RunLoop& loop, FileDescriptor listening, std::size_t maxLine, Handler handler, Logger log)
    : loop_(loop),
      listening_(std::move(listening)),
      maxLine_(maxLine),
      handler_(std::move(handler)),
      log_(std::move(log)) {
    ::fcntl(listening_.get(), F_SETFL, ::fcntl(listening_.get(), F_GETFL) | O_NONBLOCK);
    acceptWatch_ = loop_.watch(listening_.get(), FdEvent::Readable, [this](unsigned) { acceptPending(); });
}

void LineServer::acceptPending() {
    for (;;) {
        FileDescriptor fd(::accept4(listening_.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
        if (!fd.valid()) {
            return;
        }
        if (connections_.size() >= kMaxConnections) {
            log_.error("Refusing a client: %d connections are open", static_cast<int>(connections_.size()));
            continue;
        }
        auto connection = std::make_unique<Connection>();
        auto* raw = connection.get();
        connection->fd = std::move(fd);
        connection->watch = loop_.watch(raw->fd.get(), FdEvent::Readable, [this, raw](unsigned) { serve(raw); });
        connections_.emplace(raw, std::move(connection));
    }
}

void LineServer::serve(Connection* connection) {
    bool open = true;
    char buffer[4096];
    while (open) {
        const auto received = ::recv(connection->fd.get(), buffer, sizeof(buffer), 0);
        if (received < 0 && errno == EINTR) {
            continue;
        }
        if (received <= 0) {
            open = received < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
            break;
        }
        connection->buffer.append(buffer, static_cast<std::size_t>(received));
        std::size_t start = 0;
        for (auto end = connection->buffer.find('\n'); open && end != std::string::npos;
             end = connection->buffer.find('\n', start)) {
            const std::string_view line(connection->buffer.data() + start, end - start);
            open = line.size() <= maxLine_ && reply(*connection, handler_(line));
            start = end + 1;
        }
        connection->buffer.erase(0, start);
        if (connection->buffer.size() > maxLine_) {
            log_.error("Dropping a client that sent a line longer than %d bytes", static_cast<int>(maxLine_));
            open = false;
        }
    }
    if (!open) {
        // The watch that called us goes too; nothing of the connection is
        // touched after this.
        connections_.erase(connection);
    }
}

bool LineServer::reply(Connection& connection, std::string text) {
    text += '\n';
    std::size_t sent = 0;
    while (sent < text.size()) {
        const auto written = ::send(connection.fd.get(), text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
        if (written > 0) {
            sent += static_cast<std::size_t>(written);
            continue;
        }
        if (written < 0 && errno == EINTR) {
            continue;
        }
        pollfd entry{connection.fd.get(), POLLOUT, 0};
        if (written < 0 && errno == EAGAIN && ::poll(&entry, 1, kReplyTimeoutMs) > 0) {
            continue;
        }
        return false;
    }
    return true;
}

}  // namespace lidora::vmac
