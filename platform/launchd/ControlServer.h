#pragma once

#include <sys/socket.h>
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "core/ports/RunLoop.h"
#include "core/runtime/LogThrottle.h"
#include "core/runtime/Logger.h"
#include "platform/launchd/JobSupervisor.h"
#include "platform/launchd/ServiceManager.h"
#include "platform/launchd/UnixSocket.h"

namespace lidora::vmac {

// How many connections the control socket keeps and how long it waits on
// them. Root and launchd's own user are counted apart from everyone else, so
// other users cannot fill the socket up against them.
struct ControlServerLimits {
    std::size_t maxConnections = 64;  // of all other users together
    std::size_t maxPrivileged = 16;
    std::size_t perUser = 8;
    // A connection must finish a request line this soon after connecting or
    // after its last reply; one whose request is being answered is not idle.
    Duration idleTimeout = std::chrono::seconds(5);
    // The peer of an accepted socket; SO_PEERCRED when empty.
    std::function<std::optional<ucred>(int fd)> peerOf;
};

// Answers `vmac launchctl` on launchd's control socket (the protocol is
// described in LaunchdClient.h). Anyone may list; loading, unloading and
// shutting down take root, or launchd's own user when it is not root.
// Service-manager requests go to `services` with the connection and the
// peer's credentials, for it to prove who sent them.
class ControlServer {
public:
    ControlServer(RunLoop& loop, ListeningSocket socket, JobSupervisor& supervisor, ServiceManager& services,
                  std::function<void()> shutdown, Logger logger, ControlServerLimits limits = {});
    ControlServer(const ControlServer&) = delete;
    ControlServer& operator=(const ControlServer&) = delete;
    ~ControlServer();

private:
    struct Connection;
    using Reply = std::function<void(nlohmann::json)>;

    void acceptConnections();
    [[nodiscard]] std::optional<std::string> refusal(uid_t uid) const;
    void armIdleTimer(Connection& connection);
    void readFrom(std::uint64_t id);
    void handleLines(std::uint64_t id);
    void handle(const std::string& line, const ServiceRequester& requester, Reply reply);
    void send(std::uint64_t id, const nlohmann::json& reply);
    void flush(std::uint64_t id);
    void rewatch(Connection& connection);
    void close(std::uint64_t id);

    RunLoop& loop_;
    ListeningSocket socket_;
    JobSupervisor& supervisor_;
    ServiceManager& services_;
    std::function<void()> shutdown_;
    Logger logger_;
    // Refusals are what a hostile user can provoke at will; they must not
    // flood root's log.
    LogThrottle refusals_{kRefusalLinesPerWindow, kRefusalWindow, [this] { return loop_.now(); }};
    ControlServerLimits limits_;
    Cancellable acceptWatch_;
    std::map<std::uint64_t, std::unique_ptr<Connection>> connections_;
    std::uint64_t nextId_ = 1;
};

}  // namespace lidora::vmac
