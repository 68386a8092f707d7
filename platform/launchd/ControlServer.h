#pragma once

#include <sys/socket.h>
#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "core/ports/RunLoop.h"
#include "core/runtime/Logger.h"
#include "platform/launchd/JobSupervisor.h"
#include "platform/launchd/ServiceManager.h"
#include "platform/launchd/UnixSocket.h"

namespace lidora::vmac {

// Answers `vmac launchctl` on launchd's control socket (the protocol is
// described in LaunchdClient.h). Anyone may list; loading, unloading and
// shutting down take root, or launchd's own user when it is not root.
// Service-manager requests go to `services` with the peer's credentials.
class ControlServer {
public:
    ControlServer(RunLoop& loop, ListeningSocket socket, JobSupervisor& supervisor, ServiceManager& services,
                  std::function<void()> shutdown, Logger logger);
    ControlServer(const ControlServer&) = delete;
    ControlServer& operator=(const ControlServer&) = delete;
    ~ControlServer();

private:
    struct Connection;
    using Reply = std::function<void(nlohmann::json)>;

    void acceptConnections();
    void readFrom(std::uint64_t id);
    void handleLines(std::uint64_t id);
    void handle(const std::string& line, const ucred& peer, Reply reply);
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
    Cancellable acceptWatch_;
    std::map<std::uint64_t, std::unique_ptr<Connection>> connections_;
    std::uint64_t nextId_ = 1;
};

}  // namespace lidora::vmac
