#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "core/shortcuts/ShortcutsAction.h"
#include "platform/shortcuts/ShortcutsCatalog.h"

namespace lidora::vmac {

struct PhraseMatch {
    const ShortcutsApp* app = nullptr;
    const CatalogAction* action = nullptr;
    ActionArguments arguments;
};

// What Siri makes of a spoken phrase: the first App Shortcut phrase it
// fits, with the app's name for ${applicationName} and, for a parameter,
// a case's title or synonym. Case, runs of blanks and a closing full stop,
// question or exclamation mark do not matter.
std::optional<PhraseMatch> matchPhrase(std::span<const ShortcutsApp> apps, std::string_view spoken);

}  // namespace lidora::vmac
