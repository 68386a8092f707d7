#pragma once

#include <QPointer>
#include <QWidget>
#include <filesystem>

#include "core/ports/ApplicationShell.h"

namespace lidora::app {

// NSApplication's part: activation, quitting and the standard About panel.
class QtApplicationShell final : public ApplicationShell {
public:
    // Images are looked up in the bundle's Contents/Resources.
    explicit QtApplicationShell(std::filesystem::path resources) : resources_(std::move(resources)) {}

    void activate() override;
    void terminate() override;
    void showAboutPanel(const AboutPanelOptions& options) override;
    [[nodiscard]] bool isActive() const override;

private:
    std::filesystem::path resources_;
    QPointer<QWidget> about_;
};

// SEAM: the settings and message windows come with their own work; until
// then each opens one plain window with its title.
class PlainWindowHolder final : public WindowHolder {
public:
    explicit PlainWindowHolder(QString title) : title_(std::move(title)) {}
    ~PlainWindowHolder() override;
    PlainWindowHolder(const PlainWindowHolder&) = delete;
    PlainWindowHolder& operator=(const PlainWindowHolder&) = delete;
    void show() override;
    [[nodiscard]] QWidget* window() const { return window_.get(); }

private:
    QString title_;
    std::unique_ptr<QWidget> window_;
};

}  // namespace lidora::app
