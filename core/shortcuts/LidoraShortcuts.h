#pragma once

#include <span>

#include "core/shortcuts/ShortcutsAction.h"

namespace lidora {

// LidoraShortcuts: the App Shortcuts with their spoken phrases, in order.
std::span<const AppShortcut> lidoraShortcuts();

}  // namespace lidora
