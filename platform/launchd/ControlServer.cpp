#include "platform/launchd/ControlServer.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/vmac/AtomicFile.h"

namespace lidora::vmac {

namespace {

constexpr std::size_t kMaxRequestBytes = std::size_t{64} * 1024;

nlohmann::json failure(const std::string& message) {
    return {{"ok", false}, {"error", message}};
}

// Those who may load and unload jobs.
bool privileged(uid_t uid) {
    return uid == 0 || uid == ::geteuid();
}

std::optional<ucred> socketPeer(int fd) {
    ucred credentials{};
    socklen_t length = sizeof credentials;
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0) {
        return std::nullopt;
    }
    return credentials;
}

}  // namespace

struct ControlServer::Connection {
    std::uint64_t id = 0;
    FileDescriptor fd;
    ucred peer{};
    std::string input;
    std::string output;
    Cancellable watch;
    Cancellable idle;
    bool awaitingReply = false;
    bool inputEnded = false;  // the client sent all it will send
    bool closeWhenSent = false;
};

ControlServer::ControlServer(RunLoop& loop, ListeningSocket socket, JobSupervisor& supervisor, ServiceManager& services,
                             std::function<void()> shutdown, Logger logger, ControlServerLimits limits)
    : loop_(loop),
      socket_(std::move(socket)),
      supervisor_(supervisor),
      services_(services),
      shutdown_(std::move(shutdown)),
      logger_(std::move(logger)),
      limits_(std::move(limits)) {
    if (!limits_.peerOf) {
        limits_.peerOf = socketPeer;
    }
    // Nobody else accepts here, but a client that gives up between poll
    // and accept must not block launchd.
    ::fcntl(socket_.fd(), F_SETFL, ::fcntl(socket_.fd(), F_GETFL) | O_NONBLOCK);
    acceptWatch_ = loop_.watch(socket_.fd(), FdEvent::Readable, [this](unsigned) { acceptConnections(); });
}

ControlServer::~ControlServer() = default;

void ControlServer::acceptConnections() {
    for (;;) {
        FileDescriptor fd(::accept4(socket_.fd(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
        if (!fd.valid()) {
            if (errno == EINTR || errno == ECONNABORTED) {
                continue;
            }
            return;
        }
        const auto peer = limits_.peerOf(fd.get());
        if (!peer) {
            logThrottled(refusals_, logger_, [&] {
                logger_.error("dropped a control connection whose peer is unknown: %{public}s", std::strerror(errno));
            });
            continue;
        }
        if (auto reason = refusal(peer->uid)) {
            logThrottled(refusals_, logger_, [&] {
                logger_.error("refused a control connection from uid %u (pid %d): %{public}s",
                              static_cast<unsigned>(peer->uid), static_cast<int>(peer->pid), *reason);
            });
            // Best effort, so the client can tell why; the socket is fresh and
            // has room for one line.
            const auto line = failure(*reason).dump() + "\n";
            (void)::send(fd.get(), line.data(), line.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
            continue;
        }
        const std::uint64_t id = nextId_++;
        auto connection = std::make_unique<Connection>();
        connection->id = id;
        connection->fd = std::move(fd);
        connection->peer = *peer;
        auto& added = *connections_.emplace(id, std::move(connection)).first->second;
        armIdleTimer(added);
        rewatch(added);
    }
}

std::optional<std::string> ControlServer::refusal(uid_t uid) const {
    const bool privilegedPeer = privileged(uid);
    std::size_t sameClass = 0;
    std::size_t sameUser = 0;
    for (const auto& [id, connection] : connections_) {
        sameClass += privileged(connection->peer.uid) == privilegedPeer ? 1 : 0;
        sameUser += connection->peer.uid == uid ? 1 : 0;
    }
    if (privilegedPeer) {
        if (sameClass >= limits_.maxPrivileged) {
            return "too many connections from root and launchd's user (" + std::to_string(sameClass) + " open)";
        }
        return std::nullopt;
    }
    if (sameUser >= limits_.perUser) {
        return "too many connections from this user (" + std::to_string(sameUser) + " open, at most " +
               std::to_string(limits_.perUser) + ")";
    }
    if (sameClass >= limits_.maxConnections) {
        return "too many connections (" + std::to_string(sameClass) + " open)";
    }
    return std::nullopt;
}

void ControlServer::armIdleTimer(Connection& connection) {
    connection.idle = loop_.scheduleAfter(limits_.idleTimeout, [this, id = connection.id] {
        const auto found = connections_.find(id);
        if (found == connections_.end()) {
            return;
        }
        const auto& peer = found->second->peer;
        logger_.notice(
            "closed a control connection from uid %u (pid %d): no request within %lld ms",
            static_cast<unsigned>(peer.uid), static_cast<int>(peer.pid),
            static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(limits_.idleTimeout).count()));
        close(id);
    });
}

void ControlServer::rewatch(Connection& connection) {
    unsigned events = 0;
    // A client that does not read its replies is not read from either, so
    // it cannot make launchd queue replies without end.
    if (!connection.awaitingReply && !connection.closeWhenSent && !connection.inputEnded && connection.output.empty()) {
        events |= FdEvent::Readable;
    }
    if (!connection.output.empty()) {
        events |= FdEvent::Writable;
    }
    if (events == 0) {
        connection.watch.cancel();
        return;
    }
    connection.watch = loop_.watch(connection.fd.get(), events, [this, id = connection.id](unsigned bits) {
        if ((bits & FdEvent::Writable) != 0U) {
            flush(id);
            handleLines(id);
        }
        if ((bits & (FdEvent::Readable | FdEvent::HangUp | FdEvent::Error)) != 0U) {
            readFrom(id);
        }
    });
}

void ControlServer::readFrom(std::uint64_t id) {
    const auto found = connections_.find(id);
    if (found == connections_.end()) {
        return;
    }
    auto& connection = *found->second;
    char buffer[8192];
    for (;;) {
        const auto count = ::recv(connection.fd.get(), buffer, sizeof buffer, 0);
        if (count > 0) {
            connection.input.append(buffer, static_cast<std::size_t>(count));
            if (connection.input.size() > kMaxRequestBytes) {
                break;
            }
            continue;
        }
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            break;
        }
        if (count < 0) {
            close(id);
            return;
        }
        // Requests sent before the client shut its side down still get answers.
        connection.inputEnded = true;
        break;
    }
    handleLines(id);
}

void ControlServer::handleLines(std::uint64_t id) {
    for (;;) {
        const auto found = connections_.find(id);
        if (found == connections_.end()) {
            return;
        }
        auto& connection = *found->second;
        if (connection.awaitingReply || connection.closeWhenSent || !connection.output.empty()) {
            rewatch(connection);
            return;
        }
        const auto end = connection.input.find('\n');
        if (end == std::string::npos) {
            if (connection.inputEnded) {
                connection.closeWhenSent = true;
                flush(id);
            } else if (connection.input.size() > kMaxRequestBytes) {
                connection.input.clear();
                connection.closeWhenSent = true;
                send(id, failure("the request is longer than " + std::to_string(kMaxRequestBytes) + " bytes"));
            } else {
                rewatch(connection);
            }
            return;
        }
        const std::string line = connection.input.substr(0, end);
        connection.input.erase(0, end + 1);
        connection.awaitingReply = true;
        connection.idle.cancel();
        handle(line, {connection.fd.get(), connection.peer},
               [this, id](const nlohmann::json& reply) { send(id, reply); });
    }
}

void ControlServer::handle(const std::string& line, const ServiceRequester& requester, Reply reply) {
    const ucred& peer = requester.peer;
    const auto request = nlohmann::json::parse(line, nullptr, false);
    if (request.is_discarded() || !request.is_object() || !request.contains("command") ||
        !request["command"].is_string()) {
        reply(failure("the request is not understood"));
        return;
    }
    const auto command = request["command"].get<std::string>();
    if (ServiceManager::handles(command)) {
        services_.handle(command, request, requester, std::move(reply));
        return;
    }
    if (command == "list") {
        nlohmann::json jobs = nlohmann::json::array();
        for (const auto& entry : supervisor_.list()) {
            jobs.push_back(
                {{"label", entry.label},
                 {"plist", entry.plist.string()},
                 {"pid", entry.pid ? nlohmann::json(*entry.pid) : nlohmann::json()},
                 {"status", entry.lastExitStatus ? nlohmann::json(*entry.lastExitStatus) : nlohmann::json()}});
        }
        reply({{"ok", true}, {"pid", ::getpid()}, {"jobs", jobs}});
        return;
    }
    if (command != "load" && command != "unload" && command != "shutdown") {
        reply(failure("unknown command \"" + command + "\""));
        return;
    }
    if (peer.uid != 0 && peer.uid != ::geteuid()) {
        logThrottled(refusals_, logger_, [&] {
            logger_.error("refused %{public}s from uid %u", command, static_cast<unsigned>(peer.uid));
        });
        reply(failure(command + ": permission denied; only root may " + command + " jobs"));
        return;
    }
    if (command == "shutdown") {
        reply({{"ok", true}, {"pid", ::getpid()}});
        loop_.post(shutdown_);
        return;
    }
    const char* field = command == "load" ? "plist" : "job";
    if (!request.contains(field) || !request[field].is_string() || request[field].get<std::string>().empty()) {
        reply(failure(command + " needs \"" + field + "\""));
        return;
    }
    const auto argument = request[field].get<std::string>();
    if (command == "load") {
        auto loaded = supervisor_.load(argument, true);
        reply(loaded ? nlohmann::json{{"ok", true}, {"label", *loaded}} : failure(loaded.error()));
        return;
    }
    supervisor_.unload(argument, [reply](const Expected<std::string, std::string>& unloaded) {
        reply(unloaded ? nlohmann::json{{"ok", true}, {"label", *unloaded}} : failure(unloaded.error()));
    });
}

void ControlServer::send(std::uint64_t id, const nlohmann::json& reply) {
    const auto found = connections_.find(id);
    if (found == connections_.end()) {
        return;
    }
    auto& connection = *found->second;
    const bool wasAwaiting = connection.awaitingReply;
    connection.awaitingReply = false;
    if (wasAwaiting) {
        armIdleTimer(connection);
    }
    connection.output += reply.dump() + "\n";
    flush(id);
    // Requests that queued up behind one answered later are taken now.
    if (wasAwaiting) {
        loop_.post([this, id] { handleLines(id); });
    }
}

void ControlServer::flush(std::uint64_t id) {
    const auto found = connections_.find(id);
    if (found == connections_.end()) {
        return;
    }
    auto& connection = *found->second;
    while (!connection.output.empty()) {
        const auto sent = ::send(connection.fd.get(), connection.output.data(), connection.output.size(),
                                 MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent < 0) {
            if (errno == EINTR) {
                continue;
            }
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                break;
            }
            close(id);
            return;
        }
        connection.output.erase(0, static_cast<std::size_t>(sent));
    }
    if (connection.output.empty() && connection.closeWhenSent) {
        close(id);
        return;
    }
    rewatch(connection);
}

void ControlServer::close(std::uint64_t id) {
    connections_.erase(id);
}

}  // namespace lidora::vmac
