#pragma once

#include "core/runtime/Logger.h"
#include "platform/vmac/VmacPaths.h"
#include "platform/xpc/XpcServerConnection.h"

namespace lidora::vmac {

// Checks peers against the virtual Mac's code signatures. A requirement that
// does not parse admits nobody. Refusals are logged with the reason.
PeerRequirementCheck makePeerRequirementCheck(const VmacPaths& paths, Logger log);

}  // namespace lidora::vmac
