#pragma once

#include <functional>

#include "platform/session/SessionState.h"

namespace lidora::vmac {

// Records a change of the session state, then posts what it announces to
// the running apps and waits until the bus has taken it. `unchanged` is
// printed when the state was so already. `wakeAnyway` posts the system wake
// even then, for `vmac wake`, which needs the bus; the others record their
// change on a Mac that is not booted, where no app runs to hear it.
int changeSession(const VmacPaths& paths, const char* command, const std::function<void(SessionState&)>& change,
                  const char* unchanged, bool wakeAnyway = false);

}  // namespace lidora::vmac
