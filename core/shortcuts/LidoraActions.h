#pragma once

#include <span>
#include <string_view>

#include "core/shortcuts/ShortcutsAction.h"

namespace lidora {

inline constexpr std::size_t kShortcutsMessageLimit = 200;

// The app's ten actions, each declared once: what Shortcuts reads about it
// (written into the bundle at build time) and what running it does.
std::span<const ShortcutsAction> lidoraActions();

// By identifier ("LogoLightIntent"); null when there is none.
const ShortcutsAction* findAction(std::string_view identifier);

}  // namespace lidora
