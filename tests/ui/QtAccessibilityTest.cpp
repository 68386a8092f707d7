// The app's widgets as UI scripting sees them and acts on them.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "app/ModuleSlider.h"
#include "app/ModuleSliderAccessibility.h"
#include "app/QtAccessibility.h"
#include "platform/accessibility/UiLabelMatch.h"
#include "tests/ui/QtTestApp.h"

namespace lidora::app {
namespace {

using vmac::UiElement;
using vmac::UiPurpose;
using vmac::uiValueText;

struct Window {
    QWidget window;
    QLineEdit* field = new QLineEdit(&window);
    QPushButton* send = new QPushButton(QStringLiteral("Send"), &window);
    QPushButton* pro = new QPushButton(QStringLiteral("Pro"), &window);
    QCheckBox* markers = new QCheckBox(QStringLiteral("Markers"), &window);
    QLabel* hidden = new QLabel(QStringLiteral("Hidden note"), &window);
    QLabel* preview = new QLabel(QStringLiteral("-- ---"), &window);
    ModuleSlider* slider = new ModuleSlider(&window);
    QStringList edits;
    int clicks = 0;

    Window() {
        window.setWindowTitle(QStringLiteral("Send a Message"));
        auto* layout = new QVBoxLayout(&window);
        for (QWidget* widget : std::initializer_list<QWidget*>{field, send, pro, markers, hidden, preview, slider}) {
            layout->addWidget(widget);
        }
        field->setAccessibleName(QStringLiteral("Message"));
        preview->setAccessibleName(QStringLiteral("Preview"));
        slider->setAccessibleName(QStringLiteral("Logo brightness"));
        pro->setCheckable(true);
        pro->setAutoExclusive(true);
        QObject::connect(field, &QLineEdit::textEdited, [this](const QString& text) { edits << text; });
        QObject::connect(send, &QPushButton::clicked, [this] { ++clicks; });
        window.show();
        hidden->hide();
    }
};

const UiElement* child(const UiElement& parent, const std::string& title) {
    for (const auto& element : parent.children) {
        if (element.title == title) {
            return &element;
        }
    }
    return nullptr;
}

TEST(QtAccessibility, ShowsTheShownWidgetsWithTheirRolesAndValues) {
    testing::qtApp();
    installModuleSliderAccessibility();
    Window shown;
    shown.field->setText(QStringLiteral("HI"));
    shown.slider->setValue(0.5);
    const auto application = accessibleApplication({.shown = [] { return true; }, .press = [] {}});
    const auto tree = vmac::copyUiTree(*application);
    ASSERT_EQ(tree.role, kAXApplicationRole);
    ASSERT_EQ(tree.children.at(0).role, kAXMenuBarRole);
    const auto* window = child(tree, "Send a Message");
    ASSERT_NE(window, nullptr) << vmac::renderUiTree(tree);
    EXPECT_EQ(window->role, kAXWindowRole);

    struct Expected {
        std::string title;
        std::string_view role;
        std::optional<std::string> value;
        bool settable;
    };
    const Expected rows[] = {
        {"Message", kAXTextFieldRole, "HI", true},       {"Send", kAXButtonRole, std::nullopt, false},
        {"Pro", kAXRadioButtonRole, "0", false},         {"Markers", kAXCheckBoxRole, "0", true},
        {"Preview", kAXStaticTextRole, "-- ---", false}, {"Logo brightness", kAXSliderRole, "0.5", true},
    };
    for (const auto& row : rows) {
        const auto* element = child(*window, row.title);
        ASSERT_NE(element, nullptr) << row.title << "\n" << vmac::renderUiTree(tree);
        EXPECT_EQ(element->role, row.role) << row.title;
        EXPECT_EQ(element->value, row.value) << row.title;
        EXPECT_EQ(element->valueSettable, row.settable) << row.title;
    }
    EXPECT_EQ(child(*window, "Hidden note"), nullptr) << "hidden widgets are not elements";
}

TEST(QtAccessibility, ActsAsTheUserWould) {
    testing::qtApp();
    installModuleSliderAccessibility();
    Window shown;
    int panelOpened = 0;
    const auto application =
        accessibleApplication({.shown = [] { return true; }, .press = [&panelOpened] { ++panelOpened; }});
    const auto tree = vmac::copyUiTree(*application);
    const auto element = [&](std::string_view label, UiPurpose purpose) {
        const auto found = vmac::findUiLabel(tree, label, purpose);
        EXPECT_TRUE(found) << label;
        return found ? vmac::findUiElement(*application, (*found)->id) : nullptr;
    };

    auto field = element("Message", UiPurpose::SetValue);
    ASSERT_NE(field, nullptr);
    EXPECT_EQ(field->setAttributeValue(kAXValueAttribute, AXValue(std::string("SOS"))), AXError::Success);
    EXPECT_EQ(shown.edits, QStringList{QStringLiteral("SOS")}) << "typed, so the edit handlers ran";
    EXPECT_EQ(field->setAttributeValue(kAXValueAttribute, AXValue(1.0)), AXError::IllegalArgument);

    auto slider = element("Logo brightness", UiPurpose::SetValue);
    ASSERT_NE(slider, nullptr);
    EXPECT_EQ(slider->setAttributeValue(kAXValueAttribute, AXValue(1.5)), AXError::IllegalArgument);
    EXPECT_EQ(slider->setAttributeValue(kAXValueAttribute, AXValue(0.3)), AXError::Success);
    EXPECT_DOUBLE_EQ(shown.slider->value(), 0.3);

    auto markers = element("Markers", UiPurpose::SetValue);
    ASSERT_NE(markers, nullptr);
    int toggles = 0;
    QObject::connect(shown.markers, &QCheckBox::toggled, [&toggles] { ++toggles; });
    for (const auto& [value, result, checked] :
         {std::tuple{AXValue(1.0), AXError::Success, true}, std::tuple{AXValue(true), AXError::Success, true},
          std::tuple{AXValue(0.5), AXError::IllegalArgument, true},
          std::tuple{AXValue(std::string("on")), AXError::IllegalArgument, true},
          std::tuple{AXValue(false), AXError::Success, false}}) {
        EXPECT_EQ(markers->setAttributeValue(kAXValueAttribute, value), result);
        EXPECT_EQ(shown.markers->isChecked(), checked);
    }
    EXPECT_EQ(toggles, 2) << "clicked only when the value changes";

    auto send = element("Send", UiPurpose::Press);
    ASSERT_NE(send, nullptr);
    EXPECT_EQ(send->performAction(kAXPressAction), AXError::Success);
    EXPECT_EQ(shown.clicks, 1) << "clicked at once";
    shown.send->setEnabled(false);
    EXPECT_EQ(send->performAction(kAXPressAction), AXError::CannotComplete);
    EXPECT_EQ(shown.clicks, 1);

    auto pro = element("Pro", UiPurpose::Select);
    ASSERT_NE(pro, nullptr);
    EXPECT_EQ(pro->performAction(kAXPressAction), AXError::Success);
    EXPECT_TRUE(shown.pro->isChecked());

    auto item = element("lidora-ui-tests", UiPurpose::OpenMenuBarItem);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->performAction(kAXPressAction), AXError::Success);
    EXPECT_EQ(panelOpened, 1);

    delete shown.markers;  // NOLINT(cppcoreguidelines-owning-memory): Qt owns it until then
    markers = vmac::findUiElement(*application, vmac::findUiLabel(tree, "Markers", UiPurpose::Press).value()->id);
    EXPECT_EQ(markers, nullptr) << "a deleted widget is no element";
}

TEST(QtAccessibility, SelectsTabsByTheirTitles) {
    testing::qtApp();
    QTabWidget tabs;
    tabs.setWindowTitle(QStringLiteral("Lidora Settings"));
    tabs.addTab(new QWidget, QStringLiteral("General"));     // NOLINT(cppcoreguidelines-owning-memory): the tabs own it
    tabs.addTab(new QWidget, QStringLiteral("Morse Code"));  // NOLINT(cppcoreguidelines-owning-memory)
    tabs.show();
    const auto application = accessibleApplication({});
    const auto tree = vmac::copyUiTree(*application);
    const auto found = vmac::findUiLabel(tree, "Lidora Settings > Morse Code", UiPurpose::Select);
    ASSERT_TRUE(found) << found.error() << "\n" << vmac::renderUiTree(tree);
    EXPECT_EQ((*found)->value, "0");
    auto tab = vmac::findUiElement(*application, (*found)->id);
    ASSERT_NE(tab, nullptr);
    EXPECT_EQ(tab->performAction(kAXPressAction), AXError::Success);
    EXPECT_EQ(tabs.currentIndex(), 1);
    EXPECT_EQ(uiValueText(tab->copyAttributeValue(kAXValueAttribute).value()), "1");
}

}  // namespace
}  // namespace lidora::app
