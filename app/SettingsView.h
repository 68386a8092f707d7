#pragma once

#include <QWidget>
#include <array>

#include "core/shell/SettingsPresenter.h"

class QAbstractButton;
class QGroupBox;
class QLabel;
class QPushButton;
class QTabWidget;

namespace lidora::app {

class SegmentedPicker;
class ToggleSwitch;

// The settings window: "Lidora Settings", titled and closable only, 520
// points wide, with the General, On Air, Breathing, Morse Code and Classic
// Logo tabs. It only draws what the presenter says and hands it what the
// user does; closing hides it.
class SettingsView final : public QWidget, public SettingsDisplay {
public:
    // `presenter` may be empty for a window that only shows states.
    explicit SettingsView(SettingsPresenter* presenter, QWidget* parent = nullptr);
    ~SettingsView() override;
    SettingsView(const SettingsView&) = delete;
    SettingsView& operator=(const SettingsView&) = delete;

    void render(const SettingsState& state) override;

    [[nodiscard]] QTabWidget* tabs() const { return tabs_; }
    [[nodiscard]] QWidget* page(SettingsTab tab) const { return pages_.at(static_cast<std::size_t>(tab)); }
    [[nodiscard]] QGroupBox* statusSection() const { return status_; }
    [[nodiscard]] QLabel* statusText() const { return statusText_; }
    [[nodiscard]] QPushButton* statusButton() const { return statusButton_; }
    [[nodiscard]] ToggleSwitch* launchAtLoginSwitch() const { return launchAtLogin_; }
    [[nodiscard]] ToggleSwitch* showInMenuBarSwitch() const { return showInMenuBar_; }
    [[nodiscard]] SegmentedPicker* iconPicker() const { return iconPicker_; }
    [[nodiscard]] QLabel* reopenHint() const { return reopenHint_; }
    [[nodiscard]] QLabel* versionLabel() const { return version_; }
    [[nodiscard]] QPushButton* checkForUpdatesButton() const { return checkForUpdates_; }
    [[nodiscard]] QLabel* troubleshootingText() const { return troubleshooting_; }
    [[nodiscard]] ToggleSwitch* onAirSwitch() const { return onAir_; }
    [[nodiscard]] SegmentedPicker* sourcePicker() const { return source_; }
    [[nodiscard]] QLabel* onAirText() const { return onAirText_; }
    [[nodiscard]] ToggleSwitch* keepDarkSwitch() const { return keepDark_; }
    [[nodiscard]] ToggleSwitch* breatheSwitch() const { return breathe_; }
    [[nodiscard]] SegmentedPicker* speedPicker() const { return speed_; }
    [[nodiscard]] ToggleSwitch* markersSwitch() const { return markers_; }
    [[nodiscard]] ToggleSwitch* classicLogoSwitch() const { return classicLogo_; }
    [[nodiscard]] SegmentedPicker* showPicker() const { return show_; }
    [[nodiscard]] QLabel* classicLogoText() const { return classicText_; }

private:
    QWidget* buildGeneral();
    QWidget* buildOnAir();
    QWidget* buildBreathing();
    QWidget* buildMorseCode();
    QWidget* buildClassicLogo();
    void showTabs(const std::vector<SettingsTab>& tabs, SettingsTab visible);
    void fitHeight();

    SettingsPresenter* presenter_;
    QTabWidget* tabs_;
    std::array<QWidget*, 5> pages_{};
    std::vector<SettingsTab> shownTabs_;
    QGroupBox* status_ = nullptr;
    QLabel* statusText_ = nullptr;
    QPushButton* statusButton_ = nullptr;
    StatusRemedy remedy_ = StatusRemedy::none;
    ToggleSwitch* launchAtLogin_ = nullptr;
    ToggleSwitch* showInMenuBar_ = nullptr;
    SegmentedPicker* iconPicker_ = nullptr;
    QLabel* reopenHint_ = nullptr;
    ToggleSwitch* automaticChecks_ = nullptr;
    QLabel* version_ = nullptr;
    QPushButton* checkForUpdates_ = nullptr;
    QLabel* troubleshooting_ = nullptr;
    ToggleSwitch* onAir_ = nullptr;
    SegmentedPicker* source_ = nullptr;
    QLabel* onAirText_ = nullptr;
    ToggleSwitch* keepDark_ = nullptr;
    ToggleSwitch* breathe_ = nullptr;
    SegmentedPicker* speed_ = nullptr;
    ToggleSwitch* markers_ = nullptr;
    ToggleSwitch* classicLogo_ = nullptr;
    SegmentedPicker* show_ = nullptr;
    QLabel* classicText_ = nullptr;
};

}  // namespace lidora::app
