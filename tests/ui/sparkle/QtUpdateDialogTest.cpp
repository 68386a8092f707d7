#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <optional>

#include "platform/sparkle/qt/QtUpdateDialog.h"

namespace lidora::testing {
namespace {

using vmac::UpdateChoice;

QMessageBox* shownBox() {
    for (auto* widget : QApplication::topLevelWidgets()) {
        if (auto* box = qobject_cast<QMessageBox*>(widget); box != nullptr && box->isVisible()) {
            return box;
        }
    }
    return nullptr;
}

QAbstractButton* button(QMessageBox* box, const QString& text) {
    for (auto* candidate : box->buttons()) {
        if (candidate->text() == text) {
            return candidate;
        }
    }
    return nullptr;
}

class QtUpdateDialogTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "ui-sparkle";
        static char* argv[] = {name, nullptr};
        static QApplication application(argc, argv);
    }

    vmac::QtUpdateDialog dialog{QStringLiteral("Lidora")};
};

TEST_F(QtUpdateDialogTest, EachUpdateButtonAnswersOnce) {
    struct Case {
        const char* button;
        UpdateChoice choice;
    };
    const Case cases[] = {{"Install Update", UpdateChoice::install},
                          {"Remind Me Later", UpdateChoice::remindLater},
                          {"Skip This Version", UpdateChoice::skip}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.button);
        std::vector<UpdateChoice> answers;
        dialog.showUpdateFound({"15", "1.0.4"}, "1.0.3", [&](UpdateChoice choice) { answers.push_back(choice); });
        auto* box = shownBox();
        ASSERT_NE(box, nullptr);
        EXPECT_TRUE(box->informativeText().contains("1.0.4"));
        EXPECT_TRUE(box->informativeText().contains("1.0.3"));
        auto* pressed = button(box, QString::fromUtf8(c.button));
        ASSERT_NE(pressed, nullptr);
        pressed->click();
        QApplication::processEvents();
        EXPECT_EQ(answers, std::vector<UpdateChoice>{c.choice});
    }
}

TEST_F(QtUpdateDialogTest, ANewWindowReplacesTheOldOneWithoutItsAnswer) {
    int oldAnswers = 0;
    int dismissed = 0;
    dialog.showUpdateFound({"15", "1.0.4"}, "1.0.3", [&](UpdateChoice) { ++oldAnswers; });
    dialog.showError("An error occurred in retrieving update information.", [&] { ++dismissed; });
    QApplication::processEvents();
    auto* box = shownBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text(), "Update Error!");
    box->button(QMessageBox::Ok)->click();
    QApplication::processEvents();
    EXPECT_EQ(oldAnswers, 0);
    EXPECT_EQ(dismissed, 1);

    dialog.showUpToDate("1.0.3", [&] { ++dismissed; });
    ASSERT_NE(shownBox(), nullptr);
    EXPECT_EQ(shownBox()->text(), QString::fromUtf8("You’re up to date!"));
}

}  // namespace
}  // namespace lidora::testing
