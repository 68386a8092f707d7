#include "platform/xpc/XpcWire.h"

#include "platform/xpc/LogoHelperWire.h"

namespace lidora::vmac {

Expected<SdBusSlotPtr, std::string> exportObject(const XpcInterface& interface, sd_bus* bus,
                                                 std::shared_ptr<XpcObject> object) {
    if (interface == XpcInterface::of<LogoHelperProtocol>()) {
        auto helper = std::dynamic_pointer_cast<LogoHelperProtocol>(object);
        if (!helper) {
            return unexpected(std::string("the exported object does not implement LogoHelperProtocol"));
        }
        return exportLogoHelper(bus, std::move(helper));
    }
    return unexpected("no wire format for protocol " + interface.protocolName);
}

std::shared_ptr<XpcObject> makeProxy(const XpcInterface& interface, std::shared_ptr<XpcClientChannel> channel,
                                     XpcErrorHandler errorHandler) {
    if (interface == XpcInterface::of<LogoHelperProtocol>()) {
        return makeLogoHelperProxy(std::move(channel), std::move(errorHandler));
    }
    return std::make_shared<XpcObject>();
}

}  // namespace lidora::vmac
