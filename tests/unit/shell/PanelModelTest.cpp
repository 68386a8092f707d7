#include <gtest/gtest.h>

#include "core/shell/MenuBarIconModel.h"
#include "core/shell/PanelModel.h"

namespace lidora::testing {
namespace {

using Status = PanelState::Status;

struct Row {
    const char* name;
    Phase phase;
    HardwareSupport hardware;
    HelperStatus service;
    bool busy;
    bool keepDark;
    bool installProblem;
    // Expected
    bool switchOn;
    bool switchEnabled;
    bool card;
    Status status;
    bool mayBeUnsupported;
};

TEST(PanelModel, EachPhaseHardwareAndKeepDarkCombination) {
    const auto on = LightState::on;
    const auto ok = HelperStatus::enabled;
    const auto yes = HardwareSupport::supported;
    const Row rows[] = {
        {"loading", Phase::loading(), yes, ok, false, false, false, false, false, false, PanelState::Loading{}, false},
        {"ready on", Phase::ready(on), yes, ok, false, false, false, true, true, true, PanelState::NoStatus{}, false},
        {"ready off", Phase::ready(LightState::off), yes, ok, false, false, false, false, true, false,
         PanelState::NoStatus{}, false},
        {"busy", Phase::ready(on), yes, ok, true, false, false, true, false, true, PanelState::NoStatus{}, false},
        {"failed with last state", Phase::failed("M", on), yes, ok, false, false, false, true, true, true,
         PanelState::Failed{"M", true}, false},
        {"failed, install problem", Phase::failed("M", on), yes, ok, false, false, true, true, true, true,
         PanelState::Failed{"M", false}, false},
        {"failed, not enabled", Phase::failed("M", on), yes, HelperStatus::requiresApproval, false, false, false, true,
         false, true, PanelState::Failed{"M", false}, false},
        {"failed without state", Phase::failed("M", std::nullopt), yes, ok, false, false, false, false, false, false,
         PanelState::Failed{"M", true}, false},
        {"needs approval", Phase::needsApproval(), yes, HelperStatus::requiresApproval, false, false, false, false,
         false, false, PanelState::NeedsApproval{false}, false},
        {"needs approval, not registered", Phase::needsApproval(), yes, HelperStatus::notRegistered, false, false,
         false, false, false, false, PanelState::NeedsApproval{true}, false},
        {"keep dark", Phase::ready(on), yes, ok, false, true, false, true, false, true, PanelState::NoStatus{}, false},
        {"keep dark while loading", Phase::loading(), yes, ok, false, true, false, false, false, false,
         PanelState::Loading{}, false},
        {"unsupported", Phase::ready(on), HardwareSupport::unsupported, ok, false, false, false, true, false, false,
         PanelState::Unsupported{}, false},
        {"unknown hardware", Phase::ready(on), HardwareSupport::unknown, ok, false, false, false, true, true, true,
         PanelState::NoStatus{}, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        PanelInputs in;
        in.phase = row.phase;
        in.hardware = row.hardware;
        in.serviceStatus = row.service;
        in.busy = row.busy;
        in.keepsLogoDark = row.keepDark;
        in.hasInstallProblem = row.installProblem;
        in.brightnessAvailable = true;
        const auto state = panelState(in);
        EXPECT_EQ(state.switchOn, row.switchOn);
        EXPECT_EQ(state.switchEnabled, row.switchEnabled);
        EXPECT_EQ(state.showBrightnessCard, row.card);
        EXPECT_EQ(state.status, row.status);
        EXPECT_EQ(state.showMayBeUnsupported, row.mayBeUnsupported);
        EXPECT_EQ(state.showKeepDarkNote, row.keepDark);
        EXPECT_EQ(state.showSendMessage, row.hardware != HardwareSupport::unsupported);
    }
}

TEST(PanelModel, NoBrightnessCardWithoutACurve) {
    PanelInputs in;
    in.phase = Phase::ready(LightState::on);
    in.serviceStatus = HelperStatus::enabled;
    in.hardware = HardwareSupport::supported;
    EXPECT_TRUE(panelState(in).switchEnabled);
    EXPECT_FALSE(panelState(in).showBrightnessCard);
}

TEST(ModuleSlider, DragsClampAndArrowKeysStepByATenth) {
    EXPECT_DOUBLE_EQ(sliderValueAt(45, 180), 0.25);
    EXPECT_DOUBLE_EQ(sliderValueAt(-5, 180), 0.0);
    EXPECT_DOUBLE_EQ(sliderValueAt(400, 180), 1.0);
    EXPECT_DOUBLE_EQ(sliderValueAt(10, 0), 0.0);
    EXPECT_DOUBLE_EQ(steppedSliderValue(0.95, 1), 1.0);
    EXPECT_DOUBLE_EQ(steppedSliderValue(0.05, -1), 0.0);
    EXPECT_NEAR(steppedSliderValue(0.5, -1), 0.4, 1e-12);
}

TEST(MenuBarIcon, SymbolFollowsTheLightAndColourOnlyWhenOn) {
    EXPECT_EQ(menuBarIconAppearance(LightState::on, true), (MenuBarIconAppearance{"lightbulb.fill", false}));
    EXPECT_EQ(menuBarIconAppearance(LightState::on, false), (MenuBarIconAppearance{"lightbulb.fill", true}));
    EXPECT_EQ(menuBarIconAppearance(LightState::off, true), (MenuBarIconAppearance{"lightbulb.slash", true}));
    EXPECT_EQ(menuBarIconAppearance(std::nullopt, true), (MenuBarIconAppearance{"lightbulb", true}));
}

}  // namespace
}  // namespace lidora::testing
