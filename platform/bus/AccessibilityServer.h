#pragma once

#include <functional>
#include <memory>

#include "core/ports/Accessibility.h"
#include "core/ports/RunLoop.h"
#include "core/runtime/Logger.h"
#include "platform/bus/VmacBus.h"

namespace lidora::vmac {

// What the window server does for assistive applications: serves an
// application's element tree on the bus, and performs actions and sets
// values on its elements. Only processes of the user the application runs
// as may use it, as only they share the user's session on macOS; everyone
// else, root included, is refused.
class AccessibilityServer {
public:
    // `application` gives the application's element (AXApplication) at
    // each request.
    AccessibilityServer(RunLoop& loop, VmacBus& bus, std::function<std::unique_ptr<AXUIElement>()> application,
                        Logger logger);

private:
    struct State;
    std::shared_ptr<State> state_;
    Cancellable served_;
};

}  // namespace lidora::vmac
