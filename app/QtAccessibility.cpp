#include "app/QtAccessibility.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTabBar>
#include <QTextDocumentFragment>
#include <QWidget>
#include <algorithm>

#include "app/QtAccessibleRoles.h"

namespace lidora::app {

namespace {

// Elements that are not Qt's carry identifiers above any QAccessible::Id.
constexpr std::uint64_t kApplicationId = 0x1'0000'0001ULL;
constexpr std::uint64_t kMenuBarId = 0x1'0000'0002ULL;
constexpr std::uint64_t kMenuBarItemId = 0x1'0000'0003ULL;

std::string utf8(const QString& text) {
    return text.toStdString();
}

// One element backed by a QAccessibleInterface, found again by its id at
// each use, so a widget deleted meanwhile reads as an invalid element.
class QtElement final : public AXUIElement {
public:
    explicit QtElement(QAccessible::Id id) : id_(id) {}

    [[nodiscard]] std::uint64_t identifier() const override { return id_; }

    [[nodiscard]] Expected<AXValue, AXError> copyAttributeValue(std::string_view attribute) const override {
        auto* element = resolve();
        if (element == nullptr) {
            return unexpected(AXError::InvalidUIElement);
        }
        if (attribute == kAXRoleAttribute) {
            return AXValue(std::string(axRole(element)));
        }
        if (attribute == kAXTitleAttribute) {
            return AXValue(utf8(element->text(QAccessible::Name)));
        }
        if (attribute == kAXDescriptionAttribute) {
            return AXValue(utf8(element->text(QAccessible::Description)));
        }
        if (attribute == kAXEnabledAttribute) {
            return AXValue(!element->state().disabled);
        }
        if (attribute == kAXFocusedAttribute) {
            return AXValue(static_cast<bool>(element->state().focused));
        }
        if (attribute == kAXValueAttribute) {
            return value(element);
        }
        return unexpected(AXError::AttributeUnsupported);
    }

    [[nodiscard]] bool isAttributeSettable(std::string_view attribute) const override {
        auto* element = resolve();
        if (element == nullptr || attribute != kAXValueAttribute || element->state().disabled) {
            return false;
        }
        if (auto* edit = qobject_cast<QLineEdit*>(element->object())) {
            return !edit->isReadOnly();
        }
        if (switchOf(element) != nullptr) {
            return true;
        }
        return element->valueInterface() != nullptr && takesValues(element->role());
    }

    AXError setAttributeValue(std::string_view attribute, const AXValue& value) override {
        auto* element = resolve();
        if (element == nullptr) {
            return AXError::InvalidUIElement;
        }
        if (!isAttributeSettable(attribute)) {
            return AXError::AttributeUnsupported;
        }
        if (auto* edit = qobject_cast<QLineEdit*>(element->object())) {
            const auto* text = std::get_if<std::string>(&value);
            if (text == nullptr) {
                return AXError::IllegalArgument;
            }
            // Typed over the whole text, so the field's edit handlers run
            // as they do for the user (setText would skip them).
            edit->setFocus(Qt::OtherFocusReason);
            edit->selectAll();
            edit->insert(QString::fromStdString(*text));
            return AXError::Success;
        }
        if (auto* toggle = switchOf(element)) {
            // Clicked only when it changes, so the switch's handlers run as for the user.
            const auto* number = std::get_if<double>(&value);
            const auto* flag = std::get_if<bool>(&value);
            if (flag == nullptr && (number == nullptr || (*number != 0.0 && *number != 1.0))) {
                return AXError::IllegalArgument;
            }
            const bool on = flag != nullptr ? *flag : *number == 1.0;
            if (toggle->isChecked() != on) {
                toggle->click();
            }
            return AXError::Success;
        }
        auto* values = element->valueInterface();
        const auto* number = std::get_if<double>(&value);
        if (number == nullptr || *number < values->minimumValue().toDouble() ||
            *number > values->maximumValue().toDouble()) {
            return AXError::IllegalArgument;
        }
        values->setCurrentValue(*number);
        return AXError::Success;
    }

    [[nodiscard]] std::vector<std::string> copyActionNames() const override {
        auto* element = resolve();
        std::vector<std::string> names;
        if (element == nullptr) {
            return names;
        }
        if (qobject_cast<QAbstractButton*>(element->object()) != nullptr) {
            names.emplace_back(kAXPressAction);
            return names;
        }
        if (auto* actions = element->actionInterface()) {
            for (const auto& qtName : actions->actionNames()) {
                const auto name = axAction(qtName);
                if (!name.empty() && std::find(names.begin(), names.end(), name) == names.end()) {
                    names.emplace_back(name);
                }
            }
        }
        return names;
    }

    AXError performAction(std::string_view action) override {
        auto* element = resolve();
        if (element == nullptr) {
            return AXError::InvalidUIElement;
        }
        if (element->state().disabled) {
            return AXError::CannotComplete;
        }
        if (auto* button = qobject_cast<QAbstractButton*>(element->object())) {
            if (action != kAXPressAction) {
                return AXError::ActionUnsupported;
            }
            // click() rather than Qt's animated press: pressed, released,
            // toggled and clicked at once, as a mouse click gives them.
            button->click();
            return AXError::Success;
        }
        if (auto* actions = element->actionInterface()) {
            for (const auto& qtName : actions->actionNames()) {
                if (axAction(qtName) == action) {
                    actions->doAction(qtName);
                    return AXError::Success;
                }
            }
        }
        return AXError::ActionUnsupported;
    }

    [[nodiscard]] std::vector<std::unique_ptr<AXUIElement>> children() const override {
        std::vector<std::unique_ptr<AXUIElement>> shown;
        auto* element = resolve();
        if (element == nullptr) {
            return shown;
        }
        for (int i = 0; i < element->childCount(); ++i) {
            auto* child = element->child(i);
            if (child != nullptr && child->isValid() && !child->state().invisible) {
                shown.push_back(std::make_unique<QtElement>(QAccessible::uniqueId(child)));
            }
        }
        return shown;
    }

private:
    // A check box or switch: checkable, and not one of a group's segments.
    static QAbstractButton* switchOf(QAccessibleInterface* element) {
        auto* button = qobject_cast<QAbstractButton*>(element->object());
        return button != nullptr && button->isCheckable() && !button->autoExclusive() ? button : nullptr;
    }

    [[nodiscard]] QAccessibleInterface* resolve() const {
        auto* element = QAccessible::accessibleInterface(id_);
        return element != nullptr && element->isValid() ? element : nullptr;
    }

    static Expected<AXValue, AXError> value(QAccessibleInterface* element) {
        QObject* object = element->object();
        if (auto* button = qobject_cast<QAbstractButton*>(object)) {
            if (!button->isCheckable()) {
                return unexpected(AXError::AttributeUnsupported);
            }
            return AXValue(button->isChecked() ? 1.0 : 0.0);
        }
        if (auto* edit = qobject_cast<QLineEdit*>(object)) {
            return AXValue(utf8(edit->text()));
        }
        if (auto* label = qobject_cast<QLabel*>(object)) {
            // A label named apart from its text shows the text as its value.
            const QString shown = label->textFormat() == Qt::PlainText
                                      ? label->text()
                                      : QTextDocumentFragment::fromHtml(label->text()).toPlainText();
            if (label->accessibleName().isEmpty() || label->accessibleName() == shown) {
                return unexpected(AXError::AttributeUnsupported);
            }
            return AXValue(utf8(shown));
        }
        if (auto* values = element->valueInterface()) {
            return AXValue(values->currentValue().toDouble());
        }
        if (element->role() == QAccessible::PageTab) {
            // Qt's tab elements do not all mark the current tab; the bar knows it.
            auto* bar = element->parent() != nullptr ? qobject_cast<QTabBar*>(element->parent()->object()) : nullptr;
            const bool current = bar != nullptr ? bar->currentIndex() == element->parent()->indexOfChild(element)
                                                : static_cast<bool>(element->state().selected);
            return AXValue(current ? 1.0 : 0.0);
        }
        if (element->role() == QAccessible::EditableText) {
            return AXValue(utf8(element->text(QAccessible::Value)));
        }
        return unexpected(AXError::AttributeUnsupported);
    }

    QAccessible::Id id_;
};

// The menu-bar item and the menu bar that holds it.
class MenuBarItemElement final : public AXUIElement {
public:
    MenuBarItemElement(MenuBarItemAccess access, bool bar) : access_(std::move(access)), bar_(bar) {}

    [[nodiscard]] std::uint64_t identifier() const override { return bar_ ? kMenuBarId : kMenuBarItemId; }
    [[nodiscard]] Expected<AXValue, AXError> copyAttributeValue(std::string_view attribute) const override {
        if (attribute == kAXRoleAttribute) {
            return AXValue(std::string(bar_ ? kAXMenuBarRole : kAXMenuBarItemRole));
        }
        if (attribute == kAXTitleAttribute && !bar_) {
            return AXValue(utf8(QApplication::applicationDisplayName()));
        }
        if (attribute == kAXEnabledAttribute) {
            return AXValue(true);
        }
        return unexpected(AXError::AttributeUnsupported);
    }
    [[nodiscard]] bool isAttributeSettable(std::string_view /*attribute*/) const override { return false; }
    AXError setAttributeValue(std::string_view /*attribute*/, const AXValue& /*value*/) override {
        return AXError::AttributeUnsupported;
    }
    [[nodiscard]] std::vector<std::string> copyActionNames() const override {
        return bar_ ? std::vector<std::string>{} : std::vector<std::string>{std::string(kAXPressAction)};
    }
    AXError performAction(std::string_view action) override {
        if (bar_ || action != kAXPressAction) {
            return AXError::ActionUnsupported;
        }
        if (!access_.shown()) {
            return AXError::InvalidUIElement;
        }
        access_.press();
        return AXError::Success;
    }
    [[nodiscard]] std::vector<std::unique_ptr<AXUIElement>> children() const override {
        std::vector<std::unique_ptr<AXUIElement>> items;
        if (bar_) {
            items.push_back(std::make_unique<MenuBarItemElement>(access_, false));
        }
        return items;
    }

private:
    MenuBarItemAccess access_;
    bool bar_;
};

class ApplicationElement final : public AXUIElement {
public:
    explicit ApplicationElement(MenuBarItemAccess menuBarItem) : menuBarItem_(std::move(menuBarItem)) {}

    [[nodiscard]] std::uint64_t identifier() const override { return kApplicationId; }
    [[nodiscard]] Expected<AXValue, AXError> copyAttributeValue(std::string_view attribute) const override {
        if (attribute == kAXRoleAttribute) {
            return AXValue(std::string(kAXApplicationRole));
        }
        if (attribute == kAXTitleAttribute) {
            return AXValue(utf8(QApplication::applicationDisplayName()));
        }
        if (attribute == kAXEnabledAttribute) {
            return AXValue(true);
        }
        return unexpected(AXError::AttributeUnsupported);
    }
    [[nodiscard]] bool isAttributeSettable(std::string_view /*attribute*/) const override { return false; }
    AXError setAttributeValue(std::string_view /*attribute*/, const AXValue& /*value*/) override {
        return AXError::AttributeUnsupported;
    }
    [[nodiscard]] std::vector<std::string> copyActionNames() const override { return {}; }
    AXError performAction(std::string_view /*action*/) override { return AXError::ActionUnsupported; }

    [[nodiscard]] std::vector<std::unique_ptr<AXUIElement>> children() const override {
        std::vector<std::unique_ptr<AXUIElement>> shown;
        if (menuBarItem_.shown && menuBarItem_.shown()) {
            shown.push_back(std::make_unique<MenuBarItemElement>(menuBarItem_, true));
        }
        for (auto* window : QApplication::topLevelWidgets()) {
            if (!window->isVisible() || window->windowType() == Qt::ToolTip) {
                continue;
            }
            if (auto* element = QAccessible::queryAccessibleInterface(window)) {
                shown.push_back(std::make_unique<QtElement>(QAccessible::uniqueId(element)));
            }
        }
        return shown;
    }

private:
    MenuBarItemAccess menuBarItem_;
};

}  // namespace

std::unique_ptr<AXUIElement> accessibleApplication(MenuBarItemAccess menuBarItem) {
    return std::make_unique<ApplicationElement>(std::move(menuBarItem));
}

}  // namespace lidora::app
