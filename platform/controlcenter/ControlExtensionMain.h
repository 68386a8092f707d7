#pragma once

#include <memory>
#include <vector>

#include "core/ports/ControlWidget.h"
#include "platform/bus/VmacBus.h"
#include "platform/runloop/PollRunLoop.h"

namespace lidora::vmac {

// NSExtensionMain of a widget extension on the virtual Mac: answers the one
// request Control Center started this process for (read from `in`, answered
// on `out`) with the controls of `body`, and returns the exit status. An
// action waits for the message bus first and until the bus has handled what
// the action sent, so that nothing it posted is lost when the process ends.
int controlExtensionMain(PollRunLoop& loop, VmacBus& bus, const std::vector<std::unique_ptr<ControlWidget>>& body,
                         int in = 0, int out = 1);

}  // namespace lidora::vmac
