#pragma once

#include <QPointer>
#include <functional>

#include "platform/sparkle/UpdateDialog.h"

class QMessageBox;

namespace lidora::vmac {

// Sparkle's standard windows as plain Qt message boxes, one at a time, never
// modal, so the run loop keeps running while they are open.
class QtUpdateDialog final : public UpdateDialog {
public:
    // `applicationName` titles the windows ("Lidora").
    explicit QtUpdateDialog(QString applicationName);
    QtUpdateDialog(const QtUpdateDialog&) = delete;
    QtUpdateDialog& operator=(const QtUpdateDialog&) = delete;
    ~QtUpdateDialog() override;

    void showUpdateFound(const AppcastItem& update, const std::string& currentVersion,
                         std::function<void(UpdateChoice)> answered) override;
    void showUpToDate(const std::string& currentVersion, std::function<void()> dismissed) override;
    void showError(const std::string& message, std::function<void()> dismissed) override;
    void showInstalled(const AppcastItem& update, std::function<void()> dismissed) override;

private:
    QMessageBox* replaceWindow(const QString& title, const QString& text, const QString& details);
    void showWithOk(const QString& title, const QString& text, const QString& details, std::function<void()> dismissed);

    QString applicationName_;
    QPointer<QMessageBox> window_;
};

}  // namespace lidora::vmac
