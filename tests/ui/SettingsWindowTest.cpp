#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>

#include "app/QtAccessibility.h"
#include "app/QtAlertRunner.h"
#include "app/SegmentedPicker.h"
#include "app/SettingsView.h"
#include "app/SettingsWindow.h"
#include "app/ToggleSwitch.h"
#include "core/runtime/VirtualRunLoop.h"
#include "core/shell/SettingsTexts.h"
#include "platform/accessibility/UiLabelMatch.h"
#include "tests/ui/QtTestApp.h"
#include "tests/unit/brightness/BrightnessFakes.h"
#include "tests/unit/shell/SettingsFakes.h"
#include "tests/unit/shell/ShellFakes.h"

namespace lidora::testing {
namespace {

namespace texts = SettingsTexts;
using app::SettingsView;
using vmac::UiPurpose;

QString q(std::string_view view) {
    return QString::fromUtf8(view.data(), static_cast<qsizetype>(view.size()));
}

bool shownText(const QWidget& window, std::string_view wanted) {
    for (const auto* label : window.findChildren<QLabel*>()) {
        if (label->isVisibleTo(&window) && label->text() == q(wanted)) {
            return true;
        }
    }
    return false;
}

void save(QWidget& window, const std::string& name) {
    const auto shot = window.grab();
    ASSERT_FALSE(shot.isNull());
    EXPECT_TRUE(shot.save(QString::fromStdString(screenshotPath(name).string())));
}

SettingsInputs inputs(Phase phase, HardwareSupport hardware = HardwareSupport::supported) {
    SettingsInputs in;
    in.phase = std::move(phase);
    in.hardware = hardware;
    in.serviceStatus = HelperStatus::enabled;
    in.preferences.classicLogoUnlocked = true;
    in.canCheckForUpdates = true;
    in.automaticallyChecksForUpdates = true;
    in.versionText = "1.0.3 (42)";
    return in;
}

TEST(SettingsView, EveryTabShowsItsSettingsAndSavesAPicture) {
    qtApp();
    struct Row {
        SettingsTab tab;
        const char* picture;
        std::string_view shownText;
    };
    const Row rows[] = {
        {SettingsTab::general, "settings-general", texts::kControlCenterNote},
        {SettingsTab::onAir, "settings-on-air", texts::kOnAirCameraOrMicrophoneText},
        {SettingsTab::breathing, "settings-breathing", texts::kBreatheText},
        {SettingsTab::morseCode, "settings-morse-code", texts::kMarkersText},
        {SettingsTab::classicLogo, "settings-classic-logo", texts::kClassicWithLightText},
    };
    SettingsView view(nullptr);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.picture);
        auto in = inputs(Phase::ready(LightState::on));
        in.preferences.tab = row.tab;
        view.render(settingsState(in));
        view.show();
        EXPECT_EQ(view.windowTitle(), "Lidora Settings");
        EXPECT_EQ(view.width(), 520);
        EXPECT_EQ(view.tabs()->count(), 5);
        EXPECT_EQ(view.tabs()->currentWidget(), view.page(row.tab));
        EXPECT_EQ(view.tabs()->tabText(view.tabs()->currentIndex()), q(settingsTabTitle(row.tab)));
        EXPECT_TRUE(shownText(view, row.shownText));
        EXPECT_FALSE(view.statusSection()->isVisibleTo(&view)) << "no status while ready";
        save(view, row.picture);
    }
    EXPECT_FALSE(view.windowFlags() & Qt::WindowMinMaxButtonsHint) << "titled and closable only";
}

TEST(SettingsView, StatusSectionNeedingApprovalAndItsRemedies) {
    qtApp();
    struct Row {
        const char* name;
        SettingsInputs in;
        std::string_view message;
        const char* button;  // empty: none
    };
    auto unsupported = inputs(Phase::ready(LightState::off), HardwareSupport::unsupported);
    unsupported.preferences.tab = SettingsTab::onAir;
    unsupported.preferences.classicLogoUnlocked = false;
    const Row rows[] = {
        {"settings-needs-approval", inputs(Phase::needsApproval()), texts::kNeedsApproval, "Open System Settings"},
        {"settings-unsupported", unsupported, texts::kUnsupported, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        SettingsView view(nullptr);
        view.render(settingsState(row.in));
        view.show();
        EXPECT_TRUE(view.statusSection()->isVisibleTo(&view));
        EXPECT_EQ(view.statusText()->text(), q(row.message));
        EXPECT_EQ(view.statusButton()->isVisibleTo(&view), *row.button != '\0');
        if (*row.button != '\0') {
            EXPECT_EQ(view.statusButton()->text(), row.button);
        }
        save(view, row.name);
    }
    SettingsView view(nullptr);
    view.render(settingsState(unsupported));
    EXPECT_EQ(view.tabs()->count(), 1) << "only General without a lit logo";
    EXPECT_EQ(view.tabs()->currentWidget(), view.page(SettingsTab::general));
}

TEST(Alerts, BothAlertsShowTheirTextsAndButtonsAndCanBePressedByScripts) {
    qtApp();
    const ModalAlert uninstall{
        std::string(texts::kUninstallQuestion), std::string(texts::kUninstallExplanation), {"Uninstall", "Cancel"}};
    const ModalAlert notOn{std::string(texts::kLightNotBackOn), std::string(texts::kLightNotBackOnExplanation), {}};
    struct Row {
        const ModalAlert& alert;
        const char* picture;
        QStringList buttons;
    };
    for (const auto& row :
         {Row{uninstall, "alert-uninstall", {"Uninstall", "Cancel"}}, Row{notOn, "alert-light-not-back-on", {"OK"}}}) {
        SCOPED_TRACE(row.picture);
        const auto box = app::makeAlertBox(row.alert);
        box->show();
        EXPECT_EQ(box->text(), q(row.alert.messageText));
        EXPECT_EQ(box->informativeText(), q(row.alert.informativeText));
        QStringList titles;
        for (auto* button : box->buttons()) {
            titles << button->text();
        }
        EXPECT_EQ(titles, row.buttons);
        EXPECT_EQ(box->defaultButton()->text(), row.buttons.front());
        save(*box, row.picture);

        const auto application = app::accessibleApplication({});
        const auto tree = vmac::copyUiTree(*application);
        const auto label = row.alert.messageText + " > " + row.buttons.front().toStdString();
        const auto found = vmac::findUiLabel(tree, label, UiPurpose::Press);
        ASSERT_TRUE(found) << found.error() << "\n" << vmac::renderUiTree(tree);
        auto element = vmac::findUiElement(*application, (*found)->id);
        ASSERT_NE(element, nullptr);
        EXPECT_EQ(element->performAction(kAXPressAction), AXError::Success);
        EXPECT_EQ(box->clickedButton(), box->buttons().front());
    }
    // runModal answers with the pressed button's place, counted from 1000.
    for (const auto& [press, answer] : {std::pair{"Uninstall", 1000}, std::pair{"Cancel", 1001}}) {
        QTimer::singleShot(0, [press = QString::fromUtf8(press)] {
            for (auto* button : QApplication::activeModalWidget()->findChildren<QAbstractButton*>()) {
                if (button->text() == press) {
                    button->click();
                }
            }
        });
        EXPECT_EQ(app::QtAlertRunner().runModal(uninstall), answer) << press;
    }
    EXPECT_NE(notOn.informativeText.find(":\n\nsudo defaults delete"), std::string::npos) << "blank line first";
}

// The window over its real presenter, driven as `vmac ui` drives it.
class SettingsWindowTest : public ::testing::Test {
protected:
    SettingsWindowTest() {
        qtApp();
        auto made = std::make_unique<FakeBackend>();
        made->tables[std::string(kBrightnessCurveKey)] = {{0, 2}, {1, 400}};
        brightness = std::make_unique<LogoBrightnessController>(std::move(made), defaults, Logger());
        controller = std::make_shared<LightController>(
            HardwareSupport::supported, "Mac17,12", std::nullopt, light, registration, [] {}, Logger(), loop,
            environment);
        controller->setPhase(Phase::ready(LightState::on));
    }
    ~SettingsWindowTest() override { loop.runUntilIdle(); }

    SettingsParts parts() {
        return SettingsParts{.loop = loop,
                             .controller = controller,
                             .registration = registration,
                             .defaults = defaults,
                             .brightness = *brightness,
                             .loginItem = loginItem,
                             .application = shell,
                             .environment = environment,
                             .pasteboard = pasteboard,
                             .recycler = recycler,
                             .alerts = alerts,
                             .logSink = nullptr};
    }

    AXError act(const std::string& label, UiPurpose purpose) {
        const auto application = app::accessibleApplication({});
        const auto tree = vmac::copyUiTree(*application);
        const auto found = vmac::findUiLabel(tree, label, purpose);
        EXPECT_TRUE(found) << label << ": " << (found ? "" : found.error()) << "\n" << vmac::renderUiTree(tree);
        auto element = found ? vmac::findUiElement(*application, (*found)->id) : nullptr;
        const auto result = element ? element->performAction(kAXPressAction) : AXError::InvalidUIElement;
        loop.runUntilIdle();
        return result;
    }

    VirtualRunLoop loop;
    Trace trace;
    FakeLight light{loop, trace};
    FakeRegistration registration{trace};
    FakeEnvironment environment;
    MemoryDefaultsProvider defaults;
    std::unique_ptr<LogoBrightnessController> brightness;
    std::shared_ptr<LightController> controller;
    FakeLoginItem loginItem;
    FakeShell shell;
    FakePasteboard pasteboard;
    FakeRecycler recycler{trace};
    FakeAlerts alerts{trace};
    app::SettingsWindow window{[this] { return parts(); }, shell};
};

TEST_F(SettingsWindowTest, ScriptedUseReachesThePreferencesAndTheWindowIsKept) {
    // Each showing reads the light's state.
    light.states.scripted = {LightState::on, LightState::on};
    window.show();
    SettingsView* view = window.view();
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(shell.activations, 1);

    EXPECT_EQ(act("Lidora Settings > On Air", UiPurpose::Select), AXError::Success);
    EXPECT_EQ(defaults.standardDefaults->string("settingsTab"), "onAir");
    EXPECT_EQ(act("On Air light", UiPurpose::Press), AXError::Success);
    EXPECT_EQ(defaults.standardDefaults->boolean("onAirEnabled"), false);
    EXPECT_FALSE(view->sourcePicker()->isEnabled());
    const auto application = app::accessibleApplication({});
    const auto disabled = vmac::findUiLabel(vmac::copyUiTree(*application), "Camera only", UiPurpose::Select);
    ASSERT_FALSE(disabled);
    EXPECT_NE(disabled.error().find("is disabled"), std::string::npos) << "while On Air is off";

    EXPECT_EQ(act("Lidora Settings > General", UiPurpose::Select), AXError::Success);
    EXPECT_EQ(act("Copy Diagnostics", UiPurpose::Press), AXError::Success);
    ASSERT_TRUE(pasteboard.text.has_value());
    EXPECT_TRUE(pasteboard.text->ends_with("\nLogo brightness: 1.00"));
    EXPECT_TRUE(shownText(*view, texts::kDiagnosticsCopied));

    // Closing hides; the next showing is the same window, still saying it copied.
    view->close();
    window.show();
    EXPECT_EQ(window.view(), view);
    EXPECT_TRUE(view->isVisible());
    EXPECT_TRUE(shownText(*view, texts::kDiagnosticsCopied));

    alerts.answers = {kAlertFirstButtonReturn + 1};
    EXPECT_EQ(act("Uninstall Lidora…", UiPurpose::Press), AXError::Success);
    EXPECT_EQ(trace.back(), "alert: Uninstall Lidora?");
    EXPECT_EQ(shell.terminations, 0);
}

}  // namespace
}  // namespace lidora::testing
