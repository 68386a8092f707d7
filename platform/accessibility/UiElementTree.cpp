#include "platform/accessibility/UiElementTree.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace lidora::vmac {

namespace {

std::string bounded(std::string text) {
    if (text.size() <= kUiTextMaxBytes) {
        return text;
    }
    std::size_t end = kUiTextMaxBytes;
    // Cut on a character boundary, not inside a UTF-8 sequence.
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0U) == 0x80U) {
        --end;
    }
    text.resize(end);
    return text;
}

std::string textAttribute(const AXUIElement& element, std::string_view attribute) {
    const auto value = element.copyAttributeValue(attribute);
    if (!value) {
        return {};
    }
    const auto* text = std::get_if<std::string>(&*value);
    return text != nullptr ? bounded(*text) : uiValueText(*value);
}

bool flag(const AXUIElement& element, std::string_view attribute, bool fallback) {
    const auto value = element.copyAttributeValue(attribute);
    const auto* on = value ? std::get_if<bool>(&*value) : nullptr;
    return on != nullptr ? *on : fallback;
}

UiElement copyOne(const AXUIElement& element) {
    UiElement copy;
    copy.id = element.identifier();
    copy.role = textAttribute(element, kAXRoleAttribute);
    copy.title = textAttribute(element, kAXTitleAttribute);
    if (copy.title.empty()) {
        copy.title = textAttribute(element, kAXDescriptionAttribute);
    }
    if (const auto value = element.copyAttributeValue(kAXValueAttribute)) {
        copy.value = bounded(uiValueText(*value));
    }
    copy.enabled = flag(element, kAXEnabledAttribute, true);
    copy.focused = flag(element, kAXFocusedAttribute, false);
    copy.valueSettable = element.isAttributeSettable(kAXValueAttribute);
    copy.actions = element.copyActionNames();
    return copy;
}

void copyChildren(const AXUIElement& element, UiElement& copy, std::size_t depth, std::size_t& count) {
    if (depth >= kUiTreeMaxDepth) {
        return;
    }
    for (const auto& child : element.children()) {
        if (count >= kUiTreeMaxElements) {
            return;
        }
        ++count;
        copy.children.push_back(copyOne(*child));
        copyChildren(*child, copy.children.back(), depth + 1, count);
    }
}

std::unique_ptr<AXUIElement> findUnder(const AXUIElement& element, std::uint64_t id, std::size_t depth,
                                       std::size_t& visited) {
    if (depth >= kUiTreeMaxDepth) {
        return nullptr;
    }
    for (auto& child : element.children()) {
        if (++visited > kUiTreeMaxElements) {
            return nullptr;
        }
        if (child->identifier() == id) {
            return std::move(child);
        }
        if (auto found = findUnder(*child, id, depth + 1, visited)) {
            return found;
        }
    }
    return nullptr;
}

void renderInto(const UiElement& element, std::size_t depth, std::string& out) {
    out.append(depth * 2, ' ');
    out += element.role.empty() ? std::string("AXUnknown") : element.role;
    if (!element.title.empty()) {
        out += ' ';
        out += quotedUiText(element.title);
    }
    if (element.value) {
        out += " = ";
        out += quotedUiText(*element.value);
    }
    if (!element.enabled) {
        out += " disabled";
    }
    if (element.focused) {
        out += " focused";
    }
    out += '\n';
    for (const auto& child : element.children) {
        renderInto(child, depth + 1, out);
    }
}

}  // namespace

bool UiElement::has(std::string_view action) const {
    return std::find(actions.begin(), actions.end(), action) != actions.end();
}

UiElement copyUiTree(const AXUIElement& root) {
    UiElement copy = copyOne(root);
    std::size_t count = 1;
    copyChildren(root, copy, 1, count);
    return copy;
}

std::string uiValueText(const AXValue& value) {
    if (const auto* on = std::get_if<bool>(&value)) {
        return *on ? "1" : "0";
    }
    if (const auto* number = std::get_if<double>(&value)) {
        if (!std::isfinite(*number)) {
            return std::isnan(*number) ? "nan" : (*number > 0 ? "inf" : "-inf");
        }
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "%.6f", *number);
        std::string text(buffer);
        while (text.back() == '0') {
            text.pop_back();
        }
        if (text.back() == '.') {
            text.pop_back();
        }
        return text == "-0" ? "0" : text;
    }
    return std::get<std::string>(value);
}

std::unique_ptr<AXUIElement> findUiElement(const AXUIElement& root, std::uint64_t id) {
    std::size_t visited = 0;
    return findUnder(root, id, 1, visited);
}

std::string renderUiTree(const UiElement& root) {
    std::string out;
    renderInto(root, 0, out);
    return out;
}

std::string quotedUiText(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (byte < 0x20 || byte == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    out += '"';
    return out;
}

}  // namespace lidora::vmac
