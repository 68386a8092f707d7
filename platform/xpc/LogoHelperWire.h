#pragma once

#include <memory>

#include "core/helper/LogoHelperProtocol.h"
#include "platform/xpc/XpcWire.h"

namespace lidora::vmac {

// The daemon's wire contract, fixed so other tools can talk to it.
inline constexpr const char* kLogoHelperObjectPath = "/com/zelquin/lidora/LogoHelper";
inline constexpr const char* kLogoHelperInterface = "com.zelquin.lidora.LogoHelperProtocol";

Expected<SdBusSlotPtr, std::string> exportLogoHelper(sd_bus* bus, std::shared_ptr<LogoHelperProtocol> object);

std::shared_ptr<LogoHelperProtocol> makeLogoHelperProxy(std::shared_ptr<XpcClientChannel> channel,
                                                        XpcErrorHandler errorHandler);

}  // namespace lidora::vmac
