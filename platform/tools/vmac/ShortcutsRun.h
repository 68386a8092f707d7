#pragma once

#include <chrono>
#include <string>

#include "core/shortcuts/ShortcutsAction.h"
#include "platform/shortcuts/ShortcutsCatalog.h"
#include "platform/vmac/VmacPaths.h"

namespace lidora::vmac {

inline constexpr std::chrono::seconds kActionTimeLimit{30};
inline constexpr std::chrono::seconds kAppStartLimit{10};

// Runs an action as Shortcuts does: asks on the terminal for a required
// parameter that has no value, starts the app in the background when it
// does not run, has the app perform the action and prints the dialog
// (status 0) or the error text (status 1). Every wait is bounded.
// `command` names the caller in messages ("vmac shortcuts").
int performAction(const VmacPaths& paths, const ShortcutsApp& app, const CatalogAction& action,
                  ActionArguments arguments, std::chrono::milliseconds limit, const char* command);

}  // namespace lidora::vmac
