#pragma once

#include <systemd/sd-bus.h>

#include <optional>
#include <string>
#include <string_view>

#include "core/runtime/Expected.h"
#include "platform/accessibility/UiElementTree.h"

namespace lidora::vmac {

// How UI scripting travels on the virtual Mac's bus: each application that
// shows windows serves this object on its bundle's bus name.
inline constexpr const char* kAccessibilityPath = "/com/zelquin/vmac/accessibility";
inline constexpr const char* kAccessibilityInterface = "com.zelquin.vmac.Accessibility";
// CopyTree() → the tree, flattened (kUiTreeSignature).
inline constexpr const char* kCopyTreeMethod = "CopyTree";
// Perform(t element, s action) → ().
inline constexpr const char* kPerformMethod = "Perform";
// SetValue(t element, s value) → (); the text is read as the value's kind.
inline constexpr const char* kSetValueMethod = "SetValue";

// The tree in preorder, each element with its depth (the root 0):
// depth, id, role, title, has value, value, enabled, focused, value
// settable, actions.
inline constexpr const char* kUiTreeSignature = "a(utssbsbbbas)";

int appendUiTree(sd_bus_message* message, const UiElement& root);
// Refuses what no copy makes: no root, a depth that skips a level, more
// elements or depth than a copy holds.
Expected<UiElement, std::string> readUiTree(sd_bus_message* message);

// The error names of the Accessibility API's errors, and of a caller the
// application does not let script it.
std::string accessibilityErrorName(AXError error);
inline constexpr const char* kAccessibilityNotPermitted = "com.zelquin.vmac.Accessibility.Error.NotPermitted";

}  // namespace lidora::vmac
