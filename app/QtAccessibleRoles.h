#pragma once

#include <QAccessibleInterface>
#include <string>
#include <string_view>

namespace lidora::app {

// The Accessibility API's role for a Qt element: windows are AXWindow,
// checkable buttons check boxes, or radio buttons when exclusive (a
// segmented picker), tabs radio buttons in a tab group.
std::string_view axRole(QAccessibleInterface* element);

// Whether an element of this role takes values from the user (a slider
// does, a progress bar does not).
bool takesValues(QAccessible::Role role);

// The Accessibility API's action for one of Qt's, or empty.
std::string_view axAction(const QString& qtAction);

}  // namespace lidora::app
