#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>

#include "core/runtime/Logger.h"
#include "core/shortcuts/ShortcutsAction.h"
#include "platform/bus/VmacBus.h"

namespace lidora::vmac {

// The app's side of Shortcuts: performs the actions Shortcuts asks for, in
// this process and on its run loop, and answers with the dialog or the
// error text. Only processes of this user (or root) are served, a few
// requests at a time; the rest are refused at once.
class ShortcutsHost {
public:
    using Runner = std::function<Task<ActionResult>(std::string identifier, ActionArguments arguments)>;

    ShortcutsHost(RunLoop& loop, VmacBus& bus, Runner run, Logger log);
    ShortcutsHost(const ShortcutsHost&) = delete;
    ShortcutsHost& operator=(const ShortcutsHost&) = delete;
    ~ShortcutsHost();

    static constexpr int kMostInFlight = 16;
    // Shared with the requests in flight, which outlive nothing of it.
    struct State;

private:
    std::shared_ptr<State> state_;
    Cancellable serving_;
};

}  // namespace lidora::vmac
