#include "platform/bus/AccessibilityWire.h"

#include <vector>

namespace lidora::vmac {

namespace {

constexpr const char* kElementSignature = "utssbsbbbas";

int appendElement(sd_bus_message* message, const UiElement& element, std::uint32_t depth) {
    int r = sd_bus_message_open_container(message, SD_BUS_TYPE_STRUCT, kElementSignature);
    if (r >= 0) {
        r = sd_bus_message_append(message, "utssbsbbb", depth, static_cast<std::uint64_t>(element.id),
                                  element.role.c_str(), element.title.c_str(),
                                  static_cast<int>(element.value.has_value()), element.value.value_or("").c_str(),
                                  static_cast<int>(element.enabled), static_cast<int>(element.focused),
                                  static_cast<int>(element.valueSettable));
    }
    if (r >= 0) {
        r = sd_bus_message_open_container(message, SD_BUS_TYPE_ARRAY, "s");
    }
    for (const auto& action : element.actions) {
        if (r >= 0) {
            r = sd_bus_message_append(message, "s", action.c_str());
        }
    }
    if (r >= 0) {
        r = sd_bus_message_close_container(message);
    }
    if (r >= 0) {
        r = sd_bus_message_close_container(message);
    }
    for (const auto& child : element.children) {
        if (r >= 0) {
            r = appendElement(message, child, depth + 1);
        }
    }
    return r;
}

// One element read; 0 at the end of the array.
int readElement(sd_bus_message* message, UiElement& element, std::uint32_t& depth) {
    int r = sd_bus_message_enter_container(message, SD_BUS_TYPE_STRUCT, kElementSignature);
    if (r <= 0) {
        return r;
    }
    std::uint64_t id = 0;
    const char* role = nullptr;
    const char* title = nullptr;
    int hasValue = 0;
    const char* value = nullptr;
    int enabled = 0;
    int focused = 0;
    int settable = 0;
    r = sd_bus_message_read(message, "utssbsbbb", &depth, &id, &role, &title, &hasValue, &value, &enabled, &focused,
                            &settable);
    if (r < 0) {
        return r;
    }
    element.id = id;
    element.role = role;
    element.title = title;
    if (hasValue != 0) {
        element.value = value;
    }
    element.enabled = enabled != 0;
    element.focused = focused != 0;
    element.valueSettable = settable != 0;
    r = sd_bus_message_enter_container(message, SD_BUS_TYPE_ARRAY, "s");
    const char* action = nullptr;
    while (r >= 0 && (r = sd_bus_message_read(message, "s", &action)) > 0) {
        element.actions.emplace_back(action);
    }
    if (r >= 0) {
        r = sd_bus_message_exit_container(message);
    }
    if (r >= 0) {
        r = sd_bus_message_exit_container(message);
    }
    return r < 0 ? r : 1;
}

}  // namespace

int appendUiTree(sd_bus_message* message, const UiElement& root) {
    int r = sd_bus_message_open_container(message, SD_BUS_TYPE_ARRAY, "(utssbsbbbas)");
    if (r >= 0) {
        r = appendElement(message, root, 0);
    }
    if (r >= 0) {
        r = sd_bus_message_close_container(message);
    }
    return r;
}

Expected<UiElement, std::string> readUiTree(sd_bus_message* message) {
    const auto malformed = [](const std::string& why) { return unexpected("a malformed element tree: " + why); };
    if (sd_bus_message_enter_container(message, SD_BUS_TYPE_ARRAY, "(utssbsbbbas)") <= 0) {
        return malformed("not an array of elements");
    }
    UiElement root;
    // The open elements from the root down; each new one is a child of the
    // one at depth - 1. Children are added in place, so the pointers in the
    // chain stay valid only as long as no sibling of theirs is added after,
    // which preorder guarantees.
    std::vector<UiElement*> chain;
    std::size_t count = 0;
    for (;;) {
        UiElement element;
        std::uint32_t depth = 0;
        const int r = readElement(message, element, depth);
        if (r < 0) {
            return malformed("an element does not read");
        }
        if (r == 0) {
            break;
        }
        if (++count > kUiTreeMaxElements || depth >= kUiTreeMaxDepth) {
            return malformed("more elements or depth than a copy holds");
        }
        if (chain.empty()) {
            if (depth != 0) {
                return malformed("it does not start with its root");
            }
            root = std::move(element);
            chain.push_back(&root);
            continue;
        }
        if (depth == 0 || depth > chain.size()) {
            return malformed("an element's depth skips a level or repeats the root");
        }
        chain.resize(depth);
        auto& parent = *chain.back();
        parent.children.push_back(std::move(element));
        chain.push_back(&parent.children.back());
    }
    if (chain.empty()) {
        return malformed("it has no root");
    }
    (void)sd_bus_message_exit_container(message);
    return root;
}

std::string accessibilityErrorName(AXError error) {
    const char* name = "Failure";
    switch (error) {
        case AXError::Success: name = "Success"; break;
        case AXError::Failure: name = "Failure"; break;
        case AXError::IllegalArgument: name = "IllegalArgument"; break;
        case AXError::InvalidUIElement: name = "InvalidUIElement"; break;
        case AXError::CannotComplete: name = "CannotComplete"; break;
        case AXError::AttributeUnsupported: name = "AttributeUnsupported"; break;
        case AXError::ActionUnsupported: name = "ActionUnsupported"; break;
        case AXError::APIDisabled: name = "APIDisabled"; break;
    }
    return std::string("com.zelquin.vmac.Accessibility.Error.") + name;
}

}  // namespace lidora::vmac
