#pragma once

#include <string>

#include "core/shortcuts/ShortcutsAction.h"

namespace lidora {

// What the system checks before an action runs: the arguments match the
// action's parameters (no unknown names, required ones present, values of
// the declared type, enumeration values by raw value). None of it is
// trusted from the request; a mismatch fails with a text saying so.
Expected<void, std::string> checkArguments(const ShortcutsAction& action, const ActionArguments& arguments);

// Runs one of the app's actions by identifier in the app's own process.
Task<ActionResult> runShortcutsAction(ShortcutsContext& context, std::string identifier, ActionArguments arguments);

}  // namespace lidora
