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

}  // namespace lidora::app
