#pragma once

#include <string>
#include <string_view>

#include "core/runtime/Expected.h"
#include "platform/accessibility/UiElementTree.h"

namespace lidora::vmac {

// What a script wants of the element a label names; only elements that
// can do it are candidates.
enum class UiPurpose { Press, SetValue, Select, OpenMenuBarItem };

// The element `label` names under `root`, found for `purpose`. A label is a
// title, or titles of enclosing elements and the element's own joined by
// " > " ("Send a Message > Send"). Exact titles win; otherwise case, spaces
// around and a trailing ellipsis are ignored. The error says what went
// wrong: no such label, a label of elements that cannot do it, a disabled
// element, or several candidates, each written so that it names only itself.
Expected<const UiElement*, std::string> findUiLabel(const UiElement& root, std::string_view label, UiPurpose purpose);

}  // namespace lidora::vmac
