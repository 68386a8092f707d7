#pragma once

#include <memory>
#include <string>

#include "core/brightness/LogoBrightnessController.h"
#include "core/light/HelperRegistering.h"
#include "core/light/LightController.h"
#include "core/ports/ApplicationShell.h"
#include "core/ports/ControlCenter.h"
#include "core/ports/RunLoop.h"
#include "core/ports/UserDefaults.h"
#include "core/runtime/OwnedPosts.h"
#include "core/shell/BrightnessApplication.h"
#include "core/shell/PanelModel.h"
#include "core/shell/Updater.h"

namespace lidora {

// What the panel window draws; the presenter tells it.
class PanelView {
public:
    virtual ~PanelView() = default;
    virtual void render(const PanelState& state, double level, const std::string& levelText) = 0;
    virtual void dismiss() = 0;
};

// The app's windows the panel opens.
class PanelActions {
public:
    virtual ~PanelActions() = default;
    virtual void openSettings() = 0;
    virtual void showMessageWindow() = 0;
    virtual void showAboutPanel() = 0;
};

// What the panel reads and acts through, and nothing more of the app.
struct PanelParts {
    RunLoop& loop;
    // Shared so that a switch or refresh in flight keeps it.
    std::shared_ptr<LightController> controller;
    HelperRegistering& registration;
    UserDefaultsProvider& defaults;
    LogoBrightnessController& brightness;
    ControlCenter& controls;
    ApplicationShell& application;
    // Absent while there is no updater.
    Updater* updater = nullptr;
    PanelActions& actions;
};

// The panel's logic: follows the controller, preferences and the updater,
// and carries out what the user does in the panel. Lives with the app so
// that a scheduled brightness change still runs after the panel closes.
class PanelPresenter {
public:
    explicit PanelPresenter(PanelParts parts);
    PanelPresenter(const PanelPresenter&) = delete;
    PanelPresenter& operator=(const PanelPresenter&) = delete;

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
    void dismiss();

    PanelParts parts_;
    std::shared_ptr<UserDefaults> standard_;
    PanelView* view_ = nullptr;
    bool brightnessAvailable_ = false;
    BrightnessApplication application_;
    // Preference changes come on any thread; redraws run on the loop.
    OwnedPosts posts_;
    Subscription phase_;
    Subscription busy_;
    Subscription defaults_;
    Subscription pendingVersion_;
};

}  // namespace lidora
