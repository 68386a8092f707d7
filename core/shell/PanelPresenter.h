#pragma once

#include <memory>
#include <string>

#include "shell/AppDelegate.h"
#include "shell/BrightnessApplication.h"
#include "shell/PanelModel.h"

namespace lidora {

// What the panel window draws; the presenter tells it.
class PanelView {
public:
    virtual ~PanelView() = default;
    virtual void render(const PanelState& state, double level, const std::string& levelText) = 0;
    virtual void dismiss() = 0;
};

// The panel's logic: follows the controller, preferences and the updater,
// and carries out what the user does in the panel. Lives with the app so
// that a scheduled brightness change still runs after the panel closes.
class PanelPresenter {
public:
    explicit PanelPresenter(AppDelegate& app);
    PanelPresenter(const PanelPresenter&) = delete;
    PanelPresenter& operator=(const PanelPresenter&) = delete;
    ~PanelPresenter();

    // The view shown now, or none.
    void attach(PanelView* view);

    // Each time the panel is shown.
    void appeared();

    void switchFlipped(bool on);
    void levelChanged(double level);
    void levelEditingEnded();
    void reinstallHelper();
    void openSystemSettings();
    void sendMessage();
    void openSettings();
    void showAbout();
    void updateAvailable();
    void quit();

    [[nodiscard]] PanelState state() const;
    [[nodiscard]] double level() const;
    [[nodiscard]] bool brightnessAvailable() const { return brightnessAvailable_; }
    [[nodiscard]] bool isBrightnessPending() const { return application_.isPending(); }

    // Redraws the attached view from the current state.
    void update();

private:
    void applyBrightness();

    AppDelegate& app_;
    PanelView* view_ = nullptr;
    bool brightnessAvailable_ = false;
    BrightnessApplication application_;
    Subscription phase_;
    Subscription busy_;
    Subscription defaults_;
    Subscription pendingVersion_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace lidora
