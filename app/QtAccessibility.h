#pragma once

#include <functional>
#include <memory>

#include "core/ports/Accessibility.h"

namespace lidora::app {

// The app's menu-bar item, as the scripting tree shows it.
struct MenuBarItemAccess {
    // Whether the item is in the menu bar now.
    std::function<bool()> shown;
    // What a click on it does: opens (or closes) the panel.
    std::function<void()> press;
};

// The application element of UI scripting: the menu-bar item and every
// window shown, each window's elements read from Qt's accessibility
// interfaces (QAccessibleInterface) and acted on through them, so that
// widgets behave as if the user had used them.
std::unique_ptr<AXUIElement> accessibleApplication(MenuBarItemAccess menuBarItem);

}  // namespace lidora::app
