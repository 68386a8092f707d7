#pragma once

#include <deque>
#include <map>
#include <memory>
#include <string>

#include "core/ports/RunLoop.h"
#include "core/runtime/Expected.h"
#include "platform/sdbus/SdBusPtr.h"
#include "platform/xpc/XpcServerConnection.h"

namespace lidora::vmac {

// Listens on a Mach service's socket, handed over by launchd through socket
// activation, and gives each new connection to the delegate on the run loop.
class XpcServiceListener final : public XpcListener {
public:
    // Takes the activated socket named after the service (or the only one).
    static Expected<std::unique_ptr<XpcServiceListener>, std::string> forMachService(RunLoop& loop,
                                                                                     const std::string& serviceName,
                                                                                     PeerRequirementCheck check,
                                                                                     XpcServerOptions options = {});

    XpcServiceListener(RunLoop& loop, FileDescriptor socket, PeerRequirementCheck check, XpcServerOptions options);
    XpcServiceListener(const XpcServiceListener&) = delete;
    XpcServiceListener& operator=(const XpcServiceListener&) = delete;
    ~XpcServiceListener() override;

    void setDelegate(std::shared_ptr<XpcListenerDelegate> delegate) override { delegate_ = std::move(delegate); }
    void resume() override;

    [[nodiscard]] std::size_t liveConnections() const { return connections_.size(); }

private:
    void acceptPending();
    void open(FileDescriptor client, const ucred& peer);
    // Opens held connections, oldest first, of users back under their share.
    void openHeld();
    [[nodiscard]] std::size_t connectionsOf(uid_t user) const;
    [[nodiscard]] std::size_t heldOf(uid_t user) const;

    struct Held {
        FileDescriptor socket;
        ucred peer;
        TimePoint since;
    };

    RunLoop& loop_;
    FileDescriptor socket_;
    std::shared_ptr<const PeerRequirementCheck> check_;
    XpcServerOptions options_;
    std::shared_ptr<XpcListenerDelegate> delegate_;
    Cancellable watch_;
    // Connections stay alive until they are invalidated, as the framework keeps them.
    std::map<XpcServerConnection*, std::shared_ptr<XpcServerConnection>> connections_;
    std::deque<Held> held_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    // Last: its threads must end before anything they use goes.
    WorkerPool workers_{options_.maxWorkers, options_.maxWaiting};
};

}  // namespace lidora::vmac
