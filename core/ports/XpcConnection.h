#pragma once

#include <functional>
#include <memory>
#include <string>

#include "core/ports/XpcObject.h"

namespace lidora {

// One XPC connection, on either side. Handlers and replies run on the
// connection's own queue; clients hand them to their run loop.
class XpcConnection {
public:
    virtual ~XpcConnection() = default;

    virtual void setRemoteObjectInterface(XpcInterface interface) = 0;
    virtual void setExportedInterface(XpcInterface interface) = 0;
    virtual void setExportedObject(std::shared_ptr<XpcObject> object) = 0;
    // The peer must satisfy this code-signing requirement; the framework
    // invalidates the connection otherwise, before any message is handled.
    virtual void setCodeSigningRequirement(std::string requirement) = 0;
    virtual void setInvalidationHandler(std::function<void()> handler) = 0;

    virtual void resume() = 0;
    virtual void invalidate() = 0;

    // A proxy for the remote object. The error handler runs at most once,
    // when a message sent through this proxy cannot get its reply.
    virtual std::shared_ptr<XpcObject> remoteObjectProxy(std::function<void(const XpcError&)> errorHandler) = 0;

    [[nodiscard]] virtual int processIdentifier() const = 0;
};

class XpcListener;

class XpcListenerDelegate {
public:
    virtual ~XpcListenerDelegate() = default;
    virtual bool shouldAcceptNewConnection(XpcListener& listener, const std::shared_ptr<XpcConnection>& connection) = 0;
};

// Listens on a Mach service; new connections go to the delegate, on the
// listener's run loop.
class XpcListener {
public:
    virtual ~XpcListener() = default;
    virtual void setDelegate(std::shared_ptr<XpcListenerDelegate> delegate) = 0;
    virtual void resume() = 0;
};

enum class XpcConnectionOptions { none, privileged };

// Creates connections to and listeners on Mach services.
class XpcConnector {
public:
    virtual ~XpcConnector() = default;
    virtual std::shared_ptr<XpcConnection> connectToMachService(const std::string& name,
                                                                XpcConnectionOptions options) = 0;
};

}  // namespace lidora
