#include "platform/bus/KeyCombination.h"

#include <array>
#include <cctype>
#include <optional>
#include <vector>

#include "core/ports/HotKeyEvents.h"

namespace lidora::vmac {

namespace {

struct NamedKey {
    std::string_view name;
    std::uint32_t code;
};

// macOS virtual key codes (ANSI layout). The first name of a code is the one
// shown.
constexpr std::array kKeys = {
    NamedKey{"A", 0},          NamedKey{"S", 1},      NamedKey{"D", 2},        NamedKey{"F", 3},
    NamedKey{"H", 4},          NamedKey{"G", 5},      NamedKey{"Z", 6},        NamedKey{"X", 7},
    NamedKey{"C", 8},          NamedKey{"V", 9},      NamedKey{"B", 11},       NamedKey{"Q", 12},
    NamedKey{"W", 13},         NamedKey{"E", 14},     NamedKey{"R", 15},       NamedKey{"Y", 16},
    NamedKey{"T", 17},         NamedKey{"1", 18},     NamedKey{"2", 19},       NamedKey{"3", 20},
    NamedKey{"4", 21},         NamedKey{"6", 22},     NamedKey{"5", 23},       NamedKey{"=", 24},
    NamedKey{"9", 25},         NamedKey{"7", 26},     NamedKey{"-", 27},       NamedKey{"8", 28},
    NamedKey{"0", 29},         NamedKey{"]", 30},     NamedKey{"O", 31},       NamedKey{"U", 32},
    NamedKey{"[", 33},         NamedKey{"I", 34},     NamedKey{"P", 35},       NamedKey{"Return", 36},
    NamedKey{"L", 37},         NamedKey{"J", 38},     NamedKey{"'", 39},       NamedKey{"K", 40},
    NamedKey{";", 41},         NamedKey{"\\", 42},    NamedKey{",", 43},       NamedKey{"/", 44},
    NamedKey{"N", 45},         NamedKey{"M", 46},     NamedKey{".", 47},       NamedKey{"Tab", 48},
    NamedKey{"Space", 49},     NamedKey{"`", 50},     NamedKey{"Delete", 51},  NamedKey{"Escape", 53},
    NamedKey{"F5", 96},        NamedKey{"F6", 97},    NamedKey{"F7", 98},      NamedKey{"F3", 99},
    NamedKey{"F8", 100},       NamedKey{"F9", 101},   NamedKey{"F11", 103},    NamedKey{"F10", 109},
    NamedKey{"F12", 111},      NamedKey{"Home", 115}, NamedKey{"PageUp", 116}, NamedKey{"ForwardDelete", 117},
    NamedKey{"F4", 118},       NamedKey{"End", 119},  NamedKey{"F2", 120},     NamedKey{"PageDown", 121},
    NamedKey{"F1", 122},       NamedKey{"Left", 123}, NamedKey{"Right", 124},  NamedKey{"Down", 125},
    NamedKey{"Up", 126},       NamedKey{"Enter", 36}, NamedKey{"Esc", 53},     NamedKey{"Backspace", 51},
    NamedKey{"Minus", 27},     NamedKey{"Equal", 24}, NamedKey{"Comma", 43},   NamedKey{"Period", 47},
    NamedKey{"Slash", 44},     NamedKey{"Grave", 50}, NamedKey{"Quote", 39},   NamedKey{"Semicolon", 41},
    NamedKey{"Backslash", 42},
};

struct Modifier {
    std::string_view name;
    std::uint32_t mask;
};

constexpr std::array kModifierWords = {
    Modifier{"cmd", kCmdKey},         Modifier{"command", kCmdKey},  Modifier{"shift", kShiftKey},
    Modifier{"option", kOptionKey},   Modifier{"opt", kOptionKey},   Modifier{"alt", kOptionKey},
    Modifier{"control", kControlKey}, Modifier{"ctrl", kControlKey},
};

// In the order macOS shows them.
constexpr std::array kModifierSymbols = {
    Modifier{"⌃", kControlKey},
    Modifier{"⌥", kOptionKey},
    Modifier{"⇧", kShiftKey},
    Modifier{"⌘", kCmdKey},
};

std::string lowered(std::string_view text) {
    std::string out(text);
    for (auto& c : out) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return out;
}

std::optional<std::uint32_t> modifierNamed(std::string_view word) {
    const auto name = lowered(word);
    for (const auto& modifier : kModifierWords) {
        if (modifier.name == name) {
            return modifier.mask;
        }
    }
    for (const auto& modifier : kModifierSymbols) {
        if (modifier.name == word) {
            return modifier.mask;
        }
    }
    return std::nullopt;
}

std::optional<std::uint32_t> keyNamed(std::string_view word) {
    const auto name = lowered(word);
    for (const auto& key : kKeys) {
        if (lowered(key.name) == name) {
            return key.code;
        }
    }
    return std::nullopt;
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && text.front() == ' ') {
        text.remove_prefix(1);
    }
    while (!text.empty() && text.back() == ' ') {
        text.remove_suffix(1);
    }
    return text;
}

// "shift+cmd+7" splits on '+' or '-'; a separator right after another one
// (or at the start) is the key itself, as in "cmd++" or "cmd+-".
std::vector<std::string_view> words(std::string_view text) {
    std::vector<std::string_view> out;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool separator = text[i] == '+' || text[i] == '-';
        if (separator && !trimmed(text.substr(start, i - start)).empty()) {
            out.push_back(trimmed(text.substr(start, i - start)));
            start = i + 1;
        }
    }
    out.push_back(trimmed(text.substr(start)));
    return out;
}

}  // namespace

Expected<KeyCombination, std::string> parseKeyCombination(std::string_view text) {
    const std::string original(text);
    // Leading modifier symbols, as in "⇧⌘7".
    std::uint32_t modifiers = 0;
    for (bool found = true; found;) {
        found = false;
        for (const auto& modifier : kModifierSymbols) {
            if (text.starts_with(modifier.name)) {
                modifiers |= modifier.mask;
                text.remove_prefix(modifier.name.size());
                found = true;
            }
        }
    }
    if (text.empty()) {
        return unexpected("'" + original + "' names no key");
    }
    const auto parts = words(text);
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
        const auto modifier = modifierNamed(parts[i]);
        if (!modifier) {
            return unexpected("'" + std::string(parts[i]) + "' in '" + original + "' is not a modifier");
        }
        modifiers |= *modifier;
    }
    const auto key = keyNamed(parts.back());
    if (!key) {
        return unexpected("'" + std::string(parts.back()) + "' in '" + original + "' is not a key");
    }
    return KeyCombination{*key, modifiers};
}

std::string describeKeyCombination(const KeyCombination& combination) {
    std::string out;
    for (const auto& modifier : kModifierSymbols) {
        if ((combination.modifiers & modifier.mask) != 0) {
            out += modifier.name;
        }
    }
    for (const auto& key : kKeys) {
        if (key.code == combination.keyCode) {
            return out + std::string(key.name);
        }
    }
    return out + "key " + std::to_string(combination.keyCode);
}

}  // namespace lidora::vmac
