#include "platform/sparkle/qt/QtUpdateDialog.h"

#include <QMessageBox>
#include <QPushButton>
#include <memory>

namespace lidora::vmac {

namespace {

QString text(const std::string& value) {
    return QString::fromStdString(value);
}

}  // namespace

QtUpdateDialog::QtUpdateDialog(QString applicationName) : applicationName_(std::move(applicationName)) {}

QtUpdateDialog::~QtUpdateDialog() {
    if (window_) {
        window_->disconnect();
        delete window_.data();
    }
}

QMessageBox* QtUpdateDialog::replaceWindow(const QString& title, const QString& message, const QString& details) {
    if (window_) {
        // The old window's answer no longer counts.
        window_->disconnect();
        window_->close();
    }
    auto* box = new QMessageBox();  // deletes itself on close
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowTitle(applicationName_);
    box->setIcon(QMessageBox::Information);
    box->setText(title);
    box->setInformativeText(message);
    if (!details.isEmpty()) {
        box->setDetailedText(details);
    }
    window_ = box;
    return box;
}

void QtUpdateDialog::showUpdateFound(const AppcastItem& update, const std::string& currentVersion,
                                     std::function<void(UpdateChoice)> answered) {
    auto* box = replaceWindow(QStringLiteral("A new version of %1 is available!").arg(applicationName_),
                              QStringLiteral("%1 %2 is now available—you have %3. Would you like to download it now?")
                                  .arg(applicationName_, text(update.displayVersionString), text(currentVersion)),
                              {});
    auto* install = box->addButton(QStringLiteral("Install Update"), QMessageBox::AcceptRole);
    auto* later = box->addButton(QStringLiteral("Remind Me Later"), QMessageBox::RejectRole);
    auto* skip = box->addButton(QStringLiteral("Skip This Version"), QMessageBox::DestructiveRole);
    box->setDefaultButton(install);
    box->setEscapeButton(later);
    auto callback = std::make_shared<std::function<void(UpdateChoice)>>(std::move(answered));
    QObject::connect(box, &QMessageBox::finished, box, [box, install, skip, callback](int) {
        const auto* clicked = box->clickedButton();
        const auto choice = clicked == install ? UpdateChoice::install
                            : clicked == skip  ? UpdateChoice::skip
                                               : UpdateChoice::remindLater;
        (*callback)(choice);
    });
    box->show();
}

void QtUpdateDialog::showWithOk(const QString& title, const QString& message, const QString& details,
                                std::function<void()> dismissed) {
    auto* box = replaceWindow(title, message, details);
    box->setStandardButtons(QMessageBox::Ok);
    auto callback = std::make_shared<std::function<void()>>(std::move(dismissed));
    QObject::connect(box, &QMessageBox::finished, box, [callback](int) { (*callback)(); });
    box->show();
}

void QtUpdateDialog::showUpToDate(const std::string& currentVersion, std::function<void()> dismissed) {
    showWithOk(
        QStringLiteral("You’re up to date!"),
        QStringLiteral("%1 %2 is currently the newest version available.").arg(applicationName_, text(currentVersion)),
        {}, std::move(dismissed));
}

void QtUpdateDialog::showError(const std::string& message, std::function<void()> dismissed) {
    showWithOk(QStringLiteral("Update Error!"), text(message), {}, std::move(dismissed));
    window_->setIcon(QMessageBox::Warning);
}

void QtUpdateDialog::showInstalled(const AppcastItem& update, std::function<void()> dismissed) {
    showWithOk(QStringLiteral("Update ready"),
               QStringLiteral("%1 %2 would be installed now. On the virtual Mac the installed copy stays as it "
                              "is; install a new build with “vmac install”.")
                   .arg(applicationName_, text(update.displayVersionString)),
               {}, std::move(dismissed));
}

}  // namespace lidora::vmac
