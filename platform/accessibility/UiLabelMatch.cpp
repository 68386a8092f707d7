#include "platform/accessibility/UiLabelMatch.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace lidora::vmac {

namespace {

constexpr std::string_view kSeparator = " > ";

struct Candidate {
    const UiElement* element;
    std::vector<const UiElement*> ancestors;  // from the root down, the root left out
};

std::vector<std::string> splitPath(std::string_view label) {
    std::vector<std::string> parts;
    for (;;) {
        const auto at = label.find(kSeparator);
        parts.emplace_back(label.substr(0, at));
        if (at == std::string_view::npos) {
            return parts;
        }
        label.remove_prefix(at + kSeparator.size());
    }
}

std::string loose(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())) != 0) {
        text.remove_prefix(1);
    }
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())) != 0) {
        text.remove_suffix(1);
    }
    for (const std::string_view ellipsis : {"\u2026", "..."}) {
        if (text.ends_with(ellipsis)) {
            text.remove_suffix(ellipsis.size());
            break;
        }
    }
    std::string folded(text);
    std::transform(folded.begin(), folded.end(), folded.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return folded;
}

bool titled(const UiElement& element, const std::string& part, bool exact) {
    return exact ? element.title == part : !element.title.empty() && loose(element.title) == loose(part);
}

// Every element whose own title matches the last part and whose ancestors
// match the other parts in order.
void collect(const UiElement& element, std::vector<const UiElement*>& ancestors, const std::vector<std::string>& parts,
             bool exact, std::vector<Candidate>& found) {
    if (!ancestors.empty() && titled(element, parts.back(), exact)) {
        std::size_t next = 0;
        for (const auto* ancestor : ancestors) {
            if (next + 1 < parts.size() && titled(*ancestor, parts[next], exact)) {
                ++next;
            }
        }
        if (next + 1 == parts.size()) {
            found.push_back({&element, {ancestors.begin() + 1, ancestors.end()}});
        }
    }
    ancestors.push_back(&element);
    for (const auto& child : element.children) {
        collect(child, ancestors, parts, exact, found);
    }
    ancestors.pop_back();
}

bool fits(const UiElement& element, UiPurpose purpose) {
    switch (purpose) {
        case UiPurpose::Press: return element.has(kAXPressAction);
        case UiPurpose::SetValue: return element.valueSettable;
        case UiPurpose::Select: return element.role == kAXRadioButtonRole && element.has(kAXPressAction);
        case UiPurpose::OpenMenuBarItem: return element.role == kAXMenuBarItemRole && element.has(kAXPressAction);
    }
    return false;
}

std::string_view doing(UiPurpose purpose) {
    switch (purpose) {
        case UiPurpose::Press: return "pressed";
        case UiPurpose::SetValue: return "given a value";
        case UiPurpose::Select: return "selected (it is not a tab or a segment)";
        case UiPurpose::OpenMenuBarItem: return "opened (it is not a menu-bar item)";
    }
    return "used";
}

std::string describe(const Candidate& candidate) {
    std::string text = candidate.element->role + " ";
    std::string path;
    for (const auto* ancestor : candidate.ancestors) {
        if (!ancestor->title.empty()) {
            path += ancestor->title;
            path += kSeparator;
        }
    }
    text += quotedUiText(path + candidate.element->title);
    return text;
}

}  // namespace

Expected<const UiElement*, std::string> findUiLabel(const UiElement& root, std::string_view label, UiPurpose purpose) {
    if (label.empty()) {
        return unexpected(std::string("an empty label names nothing"));
    }
    const auto parts = splitPath(label);
    // A loose match counts only when no exact one can do what is wanted:
    // "Send a Message" presses the "Send a Message…" button, not the window.
    std::vector<Candidate> named;
    std::vector<Candidate> fit;
    for (const bool exact : {true, false}) {
        std::vector<Candidate> found;
        std::vector<const UiElement*> ancestors;
        collect(root, ancestors, parts, exact, found);
        std::copy_if(found.begin(), found.end(), std::back_inserter(fit),
                     [purpose](const Candidate& candidate) { return fits(*candidate.element, purpose); });
        if (named.empty()) {
            named = std::move(found);
        }
        if (!fit.empty()) {
            break;
        }
    }
    if (named.empty()) {
        return unexpected("no element is labelled " + quotedUiText(label) + " in " + root.title);
    }
    if (fit.empty()) {
        return unexpected(describe(named.front()) + " cannot be " + std::string(doing(purpose)));
    }
    if (fit.size() > 1) {
        std::string error = quotedUiText(label) + " is ambiguous: it names " + std::to_string(fit.size()) +
                            " elements; name one with its window or group:";
        for (const auto& candidate : fit) {
            error += "\n  " + describe(candidate);
        }
        return unexpected(std::move(error));
    }
    if (!fit.front().element->enabled) {
        return unexpected(describe(fit.front()) + " is disabled");
    }
    return fit.front().element;
}

}  // namespace lidora::vmac
