#include "platform/xpc/MachService.h"

#include <string>

namespace lidora::vmac {

std::string lookupFailedDescription(std::string_view serviceName) {
    return "The connection to service named " + std::string(serviceName) +
           " was invalidated: failed at lookup with error 3 - No such process.";
}

std::string interruptedDescription(std::string_view serviceName) {
    return "The connection to service named " + std::string(serviceName) + " was interrupted.";
}

std::string invalidatedDescription(std::string_view serviceName) {
    return "The connection to service named " + std::string(serviceName) + " was invalidated from this process.";
}

}  // namespace lidora::vmac
