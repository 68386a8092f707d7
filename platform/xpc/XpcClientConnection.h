#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/ports/RunLoop.h"
#include "core/ports/XpcConnection.h"
#include "platform/sdbus/SdBusLoopAttachment.h"
#include "platform/sdbus/SdBusPtr.h"
#include "platform/xpc/XpcWire.h"

namespace lidora::vmac {

// A client connection to a Mach service of the virtual Mac: D-Bus messages,
// peer to peer, over the service's Unix socket, processed on the run loop.
// Connecting never blocks; replies and errors arrive on the run loop.
class XpcClientConnection final : public XpcConnection,
                                  public XpcClientChannel,
                                  public std::enable_shared_from_this<XpcClientConnection> {
public:
    XpcClientConnection(RunLoop& loop, std::filesystem::path socket, std::string serviceName);
    ~XpcClientConnection() override;

    void setRemoteObjectInterface(XpcInterface interface) override { remoteInterface_ = std::move(interface); }
    void setExportedInterface(XpcInterface /*interface*/) override {}
    void setExportedObject(std::shared_ptr<XpcObject> /*object*/) override {}
    void setCodeSigningRequirement(std::string /*requirement*/) override {}
    void setInvalidationHandler(std::function<void()> handler) override { invalidationHandler_ = std::move(handler); }

    void resume() override;
    void invalidate() override;
    std::shared_ptr<XpcObject> remoteObjectProxy(std::function<void(const XpcError&)> errorHandler) override;
    [[nodiscard]] int processIdentifier() const override { return 0; }

    void call(const char* path, const char* interface, const char* member, std::function<int(sd_bus_message*)> append,
              std::function<void(sd_bus_message*)> onReply, std::function<void(const XpcError&)> onError) override;

private:
    struct PendingCall {
        XpcClientConnection* owner = nullptr;
        std::uint64_t id = 0;
        std::function<void(sd_bus_message*)> onReply;
        std::function<void(const XpcError&)> onError;
        SdBusSlotPtr slot;
    };
    static int onMethodReply(sd_bus_message* reply, void* userdata, sd_bus_error* error);

    void connect();
    void fail(XpcError error);
    void failLater(std::function<void(const XpcError&)> onError, XpcError error);

    RunLoop& loop_;
    std::filesystem::path socketPath_;
    std::string serviceName_;
    XpcInterface remoteInterface_;
    std::function<void()> invalidationHandler_;
    SdBusPtr bus_;
    std::unique_ptr<SdBusLoopAttachment> attachment_;
    std::optional<XpcError> failure_;
    // While the service's backlog is full: when to give up, the next pause,
    // the retry, and calls made meanwhile.
    TimePoint connectDeadline_{};
    Duration retryPause_{};
    Cancellable retry_;
    std::vector<std::function<void()>> waiting_;
    bool connecting_ = false;
    bool resumed_ = false;
    bool invalidated_ = false;
    std::uint64_t nextCall_ = 1;
    std::map<std::uint64_t, PendingCall> pending_;
};

// Connections to the virtual Mac's Mach services, on one run loop.
class VirtualXpcConnector final : public XpcConnector {
public:
    VirtualXpcConnector(RunLoop& loop, std::filesystem::path machDirectory)
        : loop_(loop), machDirectory_(std::move(machDirectory)) {}

    std::shared_ptr<XpcConnection> connectToMachService(const std::string& name, XpcConnectionOptions options) override;

private:
    RunLoop& loop_;
    std::filesystem::path machDirectory_;
};

}  // namespace lidora::vmac
