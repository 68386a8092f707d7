#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/runtime/Expected.h"

namespace lidora::vmac {

// A key with modifiers, as Carbon registers hot keys: a macOS virtual key
// code and a Carbon modifier mask.
struct KeyCombination {
    std::uint32_t keyCode = 0;
    std::uint32_t modifiers = 0;
    friend bool operator==(const KeyCombination&, const KeyCombination&) = default;
};

// Reads "shift+cmd+7", "Cmd-Shift-0", "⇧⌘7" or "ctrl+option+space":
// modifiers in any order (cmd/command/⌘, shift/⇧, option/opt/alt/⌥,
// control/ctrl/⌃) and one key: a letter, a digit, a named key (space,
// return, tab, escape, delete, f1 to f12, arrows, punctuation names) or a
// punctuation character.
Expected<KeyCombination, std::string> parseKeyCombination(std::string_view text);

// As macOS menus write it: "⌃⌥⇧⌘" in that order, then the key ("⇧⌘7").
std::string describeKeyCombination(const KeyCombination& combination);

}  // namespace lidora::vmac
