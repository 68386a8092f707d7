#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app/MenuBarIcon.h"
#include "app/MessageView.h"
#include "app/MessageWindow.h"
#include "tests/ui/QtTestApp.h"
#include "tests/unit/message/MessageFakes.h"
#include "tests/unit/shell/ShellFakes.h"

namespace lidora::testing {
namespace {

using app::MessageView;

void press(QWidget* target, int key, const QString& typed = {}) {
    QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier, typed);
    QApplication::sendEvent(target, &down);
}

void type(QWidget* target, const QString& typed) {
    for (const QChar c : typed) {
        press(target, 0, QString(c));
    }
}

QColor textColor(const QLabel* label) {
    return label->palette().color(QPalette::WindowText);
}

void save(QWidget& window, const std::string& name) {
    const auto shot = window.grab();
    ASSERT_FALSE(shot.isNull());
    EXPECT_TRUE(shot.save(QString::fromStdString(screenshotPath(name).string())));
}

class MessageWindowTest : public ::testing::Test, protected MessageRig {
protected:
    MessageWindowTest() { qtApp(); }

    FakeShell shell;
    app::MessageWindow window{[this] { return parts(); }, shell};
};

TEST_F(MessageWindowTest, TypingThenSendingThenStopping) {
    window.show();
    MessageView& view = *window.view();
    EXPECT_EQ(view.windowTitle(), "Send a Message");
    EXPECT_EQ(view.width(), 500);
    EXPECT_EQ(shell.activations, 1);

    type(view.field(), QStringLiteral("Grüße aus Köln! Wir senden #42 über das Logo :)"));
    EXPECT_EQ(view.durationLabel()->text(), "Takes about 2 min 37 s. Shorter messages are easier to read.");
    EXPECT_EQ(textColor(view.durationLabel()), app::kSystemOrange);
    EXPECT_TRUE(view.skippedLabel()->isVisible());
    EXPECT_EQ(view.skippedLabel()->text(), "Skipped (no Morse code): ÜÖ#");
    EXPECT_TRUE(view.markersBox()->isChecked());
    EXPECT_TRUE(view.cancelButton()->isVisible());
    EXPECT_FALSE(view.stopButton()->isVisible());
    save(view, "message-typing");

    press(view.field(), Qt::Key_Return);
    EXPECT_FALSE(view.sendButton()->isEnabled());
    loop.runUntilIdle();
    ASSERT_EQ(sending.sent.size(), 1U);
    sending.answers[0].resolve(true);
    loop.runUntilIdle();
    // Position 7 of "GRÜSSE AUS" is the a of "Grüße aus".
    sending.state.character.set(7);
    sending.state.isBright.set(true);
    EXPECT_FALSE(view.field()->isVisible());
    EXPECT_TRUE(view.sendingLabel()->isVisible());
    const QString accent = view.palette().color(QPalette::Highlight).name();
    EXPECT_TRUE(view.sendingLabel()->text().contains(QStringLiteral("color:%1\">a</span>").arg(accent)));
    EXPECT_EQ(view.sendingLabel()->accessibleName(), QString::fromStdString("Sending " + sending.sent[0].text));
    EXPECT_TRUE(view.stopButton()->isVisible());
    EXPECT_FALSE(view.cancelButton()->isVisible());
    view.settleAnimations();
    EXPECT_EQ(view.bulbColor(), app::kSystemYellow);
    save(view, "message-sending");

    // Escape stops the message rather than closing the window.
    press(view.sendingLabel(), Qt::Key_Escape);
    EXPECT_EQ(sending.calls, (std::vector<std::string>{"stop", "end"}));
    EXPECT_TRUE(view.isVisible());
    EXPECT_TRUE(view.field()->isVisible());
    press(view.field(), Qt::Key_Escape);
    EXPECT_FALSE(view.isVisible());

    // Reopened, the text is still there.
    window.show();
    EXPECT_EQ(window.view(), &view);
    EXPECT_EQ(view.field()->text(), QString::fromStdString(sending.sent[0].text));
}

TEST_F(MessageWindowTest, PasteIsCutAndProblemsShowInRed) {
    registration.current = HelperStatus::requiresApproval;
    window.show();
    MessageView& view = *window.view();
    view.field()->insert(QString(10'000, QChar('e')));
    EXPECT_EQ(view.field()->text().size(), 200);
    EXPECT_TRUE(view.problemLabel()->isVisible());
    EXPECT_EQ(view.problemLabel()->text(), "Lidora needs its helper approved first.");
    EXPECT_EQ(textColor(view.problemLabel()), app::kSystemRed);
    EXPECT_FALSE(view.sendButton()->isEnabled());
    save(view, "message-blocked");
}

}  // namespace
}  // namespace lidora::testing
