#pragma once

#include <functional>
#include <memory>

#include "core/ports/XpcObject.h"
#include "core/runtime/Expected.h"
#include "platform/sdbus/SdBusPtr.h"

namespace lidora::vmac {

// How a client proxy sends its calls; exactly one of onReply and onError
// runs for each, on the client's run loop. A D-Bus error reply (unknown
// method or interface, bad signature) is an interface mismatch.
class XpcClientChannel {
public:
    virtual ~XpcClientChannel() = default;
    virtual void call(const char* path, const char* interface, const char* member,
                      std::function<int(sd_bus_message*)> append, std::function<void(sd_bus_message*)> onReply,
                      std::function<void(const XpcError&)> onError) = 0;
};

using XpcErrorHandler = std::function<void(const XpcError&)>;

// Publishes an exported object on a server bus for the protocol it was
// exported with; an error when the stand-in does not know the protocol.
Expected<SdBusSlotPtr, std::string> exportObject(const XpcInterface& interface, sd_bus* bus,
                                                 std::shared_ptr<XpcObject> object);

// A proxy for the remote object. For an unknown protocol it is a bare
// XpcObject, which conforms to nothing.
std::shared_ptr<XpcObject> makeProxy(const XpcInterface& interface, std::shared_ptr<XpcClientChannel> channel,
                                     XpcErrorHandler errorHandler);

}  // namespace lidora::vmac
