#pragma once

#include <functional>
#include <memory>

#include "core/ports/ApplicationShell.h"
#include "core/shell/SettingsPresenter.h"

namespace lidora::app {

class SettingsView;

// The one settings window: built on first showing and kept, so closing only
// hides it and its state (a copied diagnostics text) lasts until the app quits.
class SettingsWindow final : public WindowHolder {
public:
    // `parts` is asked once, on first showing, when the app has launched.
    SettingsWindow(std::function<SettingsParts()> parts, ApplicationShell& application);
    ~SettingsWindow() override;
    SettingsWindow(const SettingsWindow&) = delete;
    SettingsWindow& operator=(const SettingsWindow&) = delete;

    // Builds the window the first time, centred; then activates the app and
    // brings the window to the front.
    void show() override;

    // Empty until first shown.
    [[nodiscard]] SettingsView* view() const { return view_.get(); }
    [[nodiscard]] SettingsPresenter* presenter() const { return presenter_.get(); }

private:
    std::function<SettingsParts()> parts_;
    ApplicationShell& application_;
    // The view goes first: it detaches itself from the presenter.
    std::unique_ptr<SettingsPresenter> presenter_;
    std::unique_ptr<SettingsView> view_;
};

}  // namespace lidora::app
