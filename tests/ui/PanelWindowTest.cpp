#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include "app/ModuleSlider.h"
#include "app/PanelWindow.h"
#include "tests/ui/QtTestApp.h"

namespace lidora::testing {
namespace {

using app::PanelWindow;

struct Case {
    const char* name;
    PanelInputs inputs;
    // What a person must see.
    bool switchOn;
    bool switchEnabled;
    bool card;
    bool progress;
    const char* text;  // in some visible label, or empty
    const char* button;
};

PanelInputs inputs(Phase phase, HelperStatus status = HelperStatus::enabled,
                   HardwareSupport hardware = HardwareSupport::supported) {
    PanelInputs in;
    in.phase = std::move(phase);
    in.serviceStatus = status;
    in.hardware = hardware;
    in.brightnessAvailable = true;
    return in;
}

bool visibleText(const QWidget& window, const QString& text) {
    for (const auto* label : window.findChildren<QLabel*>()) {
        if (label->isVisibleTo(&window) && label->text() == text) {
            return true;
        }
    }
    return false;
}

bool visibleButton(const QWidget& window, const QString& title) {
    for (const auto* button : window.findChildren<QPushButton*>()) {
        if (button->isVisibleTo(&window) && (button->text() == title || button->accessibleName() == title)) {
            return true;
        }
    }
    return false;
}

TEST(PanelWindow, ShowsEachStateAndSavesAScreenshot) {
    qtApp();
    const Case cases[] = {
        {"panel-loading", inputs(Phase::loading()), false, false, false, true, "", ""},
        {"panel-needs-approval", inputs(Phase::needsApproval(), HelperStatus::requiresApproval), false, false, false,
         false, kApprovalText.data(), "Open System Settings"},
        {"panel-ready-on", inputs(Phase::ready(LightState::on)), true, true, true, false, "", ""},
        {"panel-failed", inputs(Phase::failed("Couldn't reach the Lidora helper.", LightState::on)), true, true, true,
         false, "Couldn't reach the Lidora helper.", "Reinstall Helper"},
        {"panel-unsupported",
         inputs(Phase::ready(LightState::off), HelperStatus::enabled, HardwareSupport::unsupported), false, false,
         false, false, kUnsupportedText.data(), ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PanelWindow window(nullptr);
        window.render(panelState(c.inputs), 0.6922378005816023, "30%");
        window.adjustSize();
        EXPECT_EQ(window.lightSwitch()->isChecked(), c.switchOn);
        EXPECT_EQ(window.lightSwitch()->isEnabled(), c.switchEnabled);
        EXPECT_EQ(window.slider()->isVisibleTo(&window), c.card);
        EXPECT_EQ(window.findChild<QProgressBar*>()->isVisibleTo(&window), c.progress);
        if (*c.text != '\0') {
            EXPECT_TRUE(visibleText(window, QString::fromUtf8(c.text)));
        }
        if (*c.button != '\0') {
            EXPECT_TRUE(visibleButton(window, QString::fromUtf8(c.button)));
        }
        EXPECT_EQ(visibleButton(window, QStringLiteral("Send a Message…")),
                  c.inputs.hardware != HardwareSupport::unsupported);
        EXPECT_EQ(window.width(), 290);
        const auto shot = window.grab();
        ASSERT_FALSE(shot.isNull());
        EXPECT_TRUE(shot.save(QString::fromStdString(screenshotPath(c.name).string())));
    }
}

TEST(PanelWindow, KeepDarkDisablesTheSwitchAndExplains) {
    qtApp();
    auto in = inputs(Phase::ready(LightState::on));
    in.keepsLogoDark = true;
    PanelWindow window(nullptr);
    window.render(panelState(in), 1.0, "100%");
    EXPECT_FALSE(window.lightSwitch()->isEnabled());
    EXPECT_TRUE(visibleText(window, QString::fromUtf8(kKeepDarkNote.data())));
}

TEST(PanelWindow, SliderCarriesLevelAndItsText) {
    qtApp();
    PanelWindow window(nullptr);
    window.render(panelState(inputs(Phase::ready(LightState::on))), 0.8694216207171603, "60%");
    EXPECT_DOUBLE_EQ(window.slider()->value(), 0.8694216207171603);
    EXPECT_EQ(window.slider()->accessibleName(), "Logo brightness");
    EXPECT_EQ(window.slider()->accessibleDescription(), "60%");
}

}  // namespace
}  // namespace lidora::testing

#include <QAccessible>

#include "app/ModuleSliderAccessibility.h"

namespace lidora::testing {
namespace {

TEST(ModuleSlider, IsOneAccessibleSliderThatStepsByATenth) {
    qtApp();
    app::installModuleSliderAccessibility();
    app::ModuleSlider slider;
    slider.setAccessibleName(QStringLiteral("Logo brightness"));
    slider.setAccessibleValueText(QStringLiteral("60%"));
    slider.setValue(0.5);
    std::vector<double> changes;
    slider.onValueChanged = [&](double value) { changes.push_back(value); };
    auto* element = QAccessible::queryAccessibleInterface(&slider);
    ASSERT_NE(element, nullptr);
    EXPECT_EQ(element->role(), QAccessible::Slider);
    EXPECT_EQ(element->text(QAccessible::Name), "Logo brightness");
    EXPECT_EQ(element->text(QAccessible::Value), "60%");
    EXPECT_EQ(element->childCount(), 0);
    auto* actions = element->actionInterface();
    ASSERT_NE(actions, nullptr);
    actions->doAction(QAccessibleActionInterface::increaseAction());
    actions->doAction(QAccessibleActionInterface::decreaseAction());
    actions->doAction(QAccessibleActionInterface::decreaseAction());
    ASSERT_EQ(changes.size(), 3U);
    EXPECT_NEAR(changes[0], 0.6, 1e-9);
    EXPECT_NEAR(changes[2], 0.4, 1e-9);
    element->valueInterface()->setCurrentValue(7.0);
    EXPECT_DOUBLE_EQ(slider.value(), 1.0);
}

}  // namespace
}  // namespace lidora::testing
