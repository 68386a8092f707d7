#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/ports/Accessibility.h"

namespace lidora::vmac {

// One element of an application's interface as a scripting client sees it:
// a copy of its attributes at one moment, with its children.
struct UiElement {
    std::uint64_t id = 0;
    std::string role;
    // AXTitle, or AXDescription when it has no title: what a label names.
    std::string title;
    std::optional<std::string> value;
    bool enabled = true;
    bool focused = false;
    bool valueSettable = false;
    std::vector<std::string> actions;
    std::vector<UiElement> children;

    [[nodiscard]] bool has(std::string_view action) const;
    bool operator==(const UiElement&) const = default;
};

// Bounds on what one copy of a tree holds, so that a runaway interface
// cannot make an answer without end.
inline constexpr std::size_t kUiTreeMaxDepth = 64;
inline constexpr std::size_t kUiTreeMaxElements = 4096;
inline constexpr std::size_t kUiTextMaxBytes = 4096;

// The tree under `root` as it is now, within the bounds above.
UiElement copyUiTree(const AXUIElement& root);

// An attribute value as text: numbers without trailing zeros, booleans as 1 or 0.
std::string uiValueText(const AXValue& value);

// The element with `id` under `root`, searched again from the root.
std::unique_ptr<AXUIElement> findUiElement(const AXUIElement& root, std::uint64_t id);

// The tree as `vmac ui tree` prints it: one element a line, indented by
// depth: role, "title", = "value", then disabled and focused when so.
std::string renderUiTree(const UiElement& root);

// Text in double quotes with quotes, backslashes and control characters escaped.
std::string quotedUiText(std::string_view text);

}  // namespace lidora::vmac
