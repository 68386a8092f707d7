#pragma once

#include <sys/socket.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "core/ports/RunLoop.h"
#include "core/ports/XpcConnection.h"
#include "platform/sdbus/SdBusPtr.h"
#include "platform/xpc/WorkerPool.h"

namespace lidora::vmac {

// Whether the program on the other end of an accepted `socket`, connected by
// `peer`, satisfies a code-signing requirement.
using PeerRequirementCheck = std::function<bool(int socket, const ucred& peer, const std::string& requirement)>;

struct XpcServerOptions {
    // A peer must complete each request within this long of connecting or of
    // its previous request, or it is dropped: a client that never speaks, or
    // trickles a byte now and then, cannot hold a thread or keep the daemon alive.
    Duration silentPeerTimeout = std::chrono::seconds(5);
    // Threads serving connections, connections waiting for one, and live
    // connections of any one user; connections beyond are closed at once.
    std::size_t maxWorkers = 16;
    std::size_t maxWaiting = 32;
    std::size_t maxConnectionsPerUser = 12;
    // A user's connections beyond their share wait, unread, until one of
    // theirs ends, so that a burst of calls is served rather than cut off;
    // beyond these many (per user, and of all users) they are closed.
    std::size_t maxHeldPerUser = 64;
    std::size_t maxHeld = 256;
};

// The daemon's side of one accepted connection. Like the framework's, it
// serves its messages on a queue of its own (a pool thread), runs the exported
// object's methods there, and reports invalidation on the main run loop.
class XpcServerConnection final : public XpcConnection, public std::enable_shared_from_this<XpcServerConnection> {
public:
    XpcServerConnection(RunLoop& mainLoop, WorkerPool& workers, FileDescriptor socket, ucred peer,
                        std::shared_ptr<const PeerRequirementCheck> check, XpcServerOptions options,
                        std::function<void(XpcServerConnection*)> onFinished);
    ~XpcServerConnection() override;

    void setRemoteObjectInterface(XpcInterface /*interface*/) override {}
    void setExportedInterface(XpcInterface interface) override { exportedInterface_ = std::move(interface); }
    void setExportedObject(std::shared_ptr<XpcObject> object) override { exportedObject_ = std::move(object); }
    void setCodeSigningRequirement(std::string requirement) override { requirement_ = std::move(requirement); }
    void setInvalidationHandler(std::function<void()> handler) override { invalidationHandler_ = std::move(handler); }

    void resume() override;
    void invalidate() override;
    std::shared_ptr<XpcObject> remoteObjectProxy(std::function<void(const XpcError&)> errorHandler) override;
    [[nodiscard]] int processIdentifier() const override { return peer_.pid; }
    [[nodiscard]] uid_t peerUser() const { return peer_.uid; }

    // Around the listener's call to its delegate, on the main loop: a resume()
    // made there checks the peer at once instead of on a later turn.
    void beginDelegateTurn() { inDelegateTurn_ = true; }
    void endDelegateTurn() { inDelegateTurn_ = false; }

private:
    void admitOrRefuse();
    void refuse();
    void serve();
    void serveUntilDone(sd_bus* bus);
    static int noteRequest(sd_bus_message* message, void* userdata, sd_bus_error* error);
    void finish();

    RunLoop& mainLoop_;
    WorkerPool& workers_;
    FileDescriptor socket_;
    FileDescriptor stopEvent_;
    ucred peer_;
    std::shared_ptr<const PeerRequirementCheck> check_;  // the listener's, shared by its connections
    XpcServerOptions options_;
    std::function<void(XpcServerConnection*)> onFinished_;
    const std::uint64_t acceptedAt_;
    bool requestArrived_ = false;  // on the serving thread only

    XpcInterface exportedInterface_;
    std::shared_ptr<XpcObject> exportedObject_;
    std::string requirement_;
    std::function<void()> invalidationHandler_;

    bool resumed_ = false;
    bool inDelegateTurn_ = false;
    bool serving_ = false;
    bool invalidated_ = false;
    bool finished_ = false;
};

}  // namespace lidora::vmac
