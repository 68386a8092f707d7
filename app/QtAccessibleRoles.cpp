#include "app/QtAccessibleRoles.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QRadioButton>
#include <QWidget>

#include "core/ports/Accessibility.h"

namespace lidora::app {

std::string_view axRole(QAccessibleInterface* element) {
    QObject* object = element->object();
    if (object != nullptr && object->isWidgetType() && static_cast<QWidget*>(object)->isWindow()) {
        return kAXWindowRole;
    }
    if (auto* button = qobject_cast<QAbstractButton*>(object)) {
        if (qobject_cast<QRadioButton*>(button) != nullptr || (button->isCheckable() && button->autoExclusive())) {
            return kAXRadioButtonRole;
        }
        return button->isCheckable() || qobject_cast<QCheckBox*>(button) != nullptr ? kAXCheckBoxRole : kAXButtonRole;
    }
    switch (element->role()) {
        case QAccessible::Window:
        case QAccessible::Dialog:
        case QAccessible::AlertMessage: return kAXWindowRole;
        case QAccessible::Button:
        case QAccessible::ButtonMenu: return kAXButtonRole;
        case QAccessible::CheckBox: return kAXCheckBoxRole;
        case QAccessible::RadioButton:
        case QAccessible::PageTab: return kAXRadioButtonRole;
        case QAccessible::PageTabList: return kAXTabGroupRole;
        case QAccessible::EditableText: return element->state().multiLine ? "AXTextArea" : kAXTextFieldRole;
        case QAccessible::StaticText: return kAXStaticTextRole;
        case QAccessible::Slider: return kAXSliderRole;
        case QAccessible::ProgressBar: return "AXProgressIndicator";
        case QAccessible::Graphic: return "AXImage";
        case QAccessible::ComboBox: return "AXPopUpButton";
        case QAccessible::SpinBox: return "AXIncrementor";
        case QAccessible::List: return "AXList";
        case QAccessible::Table: return "AXTable";
        case QAccessible::ScrollBar: return "AXScrollBar";
        case QAccessible::MenuItem: return "AXMenuItem";
        case QAccessible::ToolBar: return "AXToolbar";
        case QAccessible::Link: return "AXLink";
        default: return kAXGroupRole;
    }
}

bool takesValues(QAccessible::Role role) {
    return role == QAccessible::Slider || role == QAccessible::SpinBox || role == QAccessible::ScrollBar ||
           role == QAccessible::Dial;
}

std::string_view axAction(const QString& qtAction) {
    if (qtAction == QAccessibleActionInterface::pressAction() ||
        qtAction == QAccessibleActionInterface::toggleAction()) {
        return kAXPressAction;
    }
    if (qtAction == QAccessibleActionInterface::increaseAction()) {
        return kAXIncrementAction;
    }
    if (qtAction == QAccessibleActionInterface::decreaseAction()) {
        return kAXDecrementAction;
    }
    if (qtAction == QAccessibleActionInterface::showMenuAction()) {
        return "AXShowMenu";
    }
    return {};
}

}  // namespace lidora::app
