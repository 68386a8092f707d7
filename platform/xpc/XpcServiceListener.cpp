#include "platform/xpc/XpcServiceListener.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <systemd/sd-daemon.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace lidora::vmac {

Expected<std::unique_ptr<XpcServiceListener>, std::string> XpcServiceListener::forMachService(
    RunLoop& loop, const std::string& serviceName, PeerRequirementCheck check, XpcServerOptions options) {
    char** names = nullptr;
    const int count = sd_listen_fds_with_names(1, &names);
    if (count <= 0) {
        return unexpected("no socket for Mach service " + serviceName + " was passed by launchd");
    }
    int chosen = -1;
    for (int i = 0; i < count; ++i) {
        if (names != nullptr && names[i] != nullptr && serviceName == names[i]) {
            chosen = SD_LISTEN_FDS_START + i;
        }
    }
    if (chosen < 0 && count == 1) {
        chosen = SD_LISTEN_FDS_START;
    }
    if (names != nullptr) {
        for (int i = 0; i < count; ++i) {
            std::free(names[i]);  // NOLINT(cppcoreguidelines-no-malloc,cppcoreguidelines-owning-memory): sd-daemon's
        }
        std::free(static_cast<void*>(names));  // NOLINT(cppcoreguidelines-no-malloc,cppcoreguidelines-owning-memory)
    }
    if (chosen < 0) {
        return unexpected("launchd passed no socket named " + serviceName);
    }
    for (int i = 0; i < count; ++i) {
        if (SD_LISTEN_FDS_START + i != chosen) {
            ::close(SD_LISTEN_FDS_START + i);
        }
    }
    if (sd_is_socket_unix(chosen, SOCK_STREAM, 1, nullptr, 0) <= 0) {
        return unexpected("the socket passed for " + serviceName + " is not a listening Unix stream socket");
    }
    ::fcntl(chosen, F_SETFD, FD_CLOEXEC);
    ::fcntl(chosen, F_SETFL, ::fcntl(chosen, F_GETFL) | O_NONBLOCK);
    return std::make_unique<XpcServiceListener>(loop, FileDescriptor(chosen), std::move(check), options);
}

XpcServiceListener::XpcServiceListener(RunLoop& loop, FileDescriptor socket, PeerRequirementCheck check,
                                       XpcServerOptions options)
    : loop_(loop),
      socket_(std::move(socket)),
      check_(std::make_shared<const PeerRequirementCheck>(std::move(check))),
      options_(options) {}

XpcServiceListener::~XpcServiceListener() {
    // Connections still serving must let go of their pool threads.
    for (auto& [raw, connection] : connections_) {
        connection->invalidate();
    }
}

void XpcServiceListener::resume() {
    if (watch_.holdsRegistration()) {
        return;
    }
    watch_ = loop_.watch(socket_.get(), FdEvent::Readable, [this](unsigned) { acceptPending(); });
}

void XpcServiceListener::acceptPending() {
    // One a turn: the socket stays readable while more wait, and a caller
    // alone is not made to wait for a second accept that finds nothing.
    FileDescriptor client(::accept4(socket_.get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
    if (!client.valid()) {
        return;  // EAGAIN, or a peer that vanished before we took it
    }
    ucred peer{};
    socklen_t length = sizeof peer;
    if (::getsockopt(client.get(), SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0) {
        return;
    }
    if (connectionsOf(peer.uid) < options_.maxConnectionsPerUser) {
        open(std::move(client), peer);
    } else if (heldOf(peer.uid) < options_.maxHeldPerUser && held_.size() < options_.maxHeld) {
        held_.push_back({std::move(client), peer, loop_.now()});
    }
    // Otherwise closed: no one user may take every connection.
}

void XpcServiceListener::open(FileDescriptor client, const ucred& peer) {
    auto connection = std::make_shared<XpcServerConnection>(
        loop_, workers_, std::move(client), peer, check_, options_,
        [this, alive = std::weak_ptr<bool>(alive_)](XpcServerConnection* finished) {
            if (alive.lock()) {
                connections_.erase(finished);
                openHeld();
            }
        });
    connections_.emplace(connection.get(), connection);
    connection->beginDelegateTurn();
    if (!delegate_ || !delegate_->shouldAcceptNewConnection(*this, connection)) {
        connection->invalidate();
    }
    connection->endDelegateTurn();
}

void XpcServiceListener::openHeld() {
    for (auto it = held_.begin(); it != held_.end();) {
        // Its client gave up: it hung up, or its time to make a request ran out.
        pollfd gone{it->socket.get(), POLLRDHUP, 0};
        if (::poll(&gone, 1, 0) != 0 || loop_.now() - it->since >= options_.silentPeerTimeout) {
            it = held_.erase(it);
        } else if (connectionsOf(it->peer.uid) < options_.maxConnectionsPerUser) {
            auto held = std::move(*it);
            held_.erase(it);
            open(std::move(held.socket), held.peer);
            it = held_.begin();  // open may have changed the queue
        } else {
            ++it;
        }
    }
}

std::size_t XpcServiceListener::heldOf(uid_t user) const {
    return static_cast<std::size_t>(
        std::count_if(held_.begin(), held_.end(), [user](const Held& held) { return held.peer.uid == user; }));
}

std::size_t XpcServiceListener::connectionsOf(uid_t user) const {
    return static_cast<std::size_t>(std::count_if(connections_.begin(), connections_.end(), [user](const auto& entry) {
        return entry.second->peerUser() == user;
    }));
}

}  // namespace lidora::vmac
