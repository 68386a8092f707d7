// The settings window of the real app, headless, with its helper daemon and
// corebrightnessd, driven only through `vmac ui` as a person or a script
// would: opened by opening the running app again, its switches bound to the
// preferences both ways, and uninstalling at the end.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <cmath>
#include <memory>
#include <regex>

#include "tests/support/VirtualMac.h"

namespace lidora::testing {
namespace {

using namespace std::chrono_literals;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr auto kApp = "com.zelquin.lidora";
constexpr double kFullNits = 60.0;  // the factory curve at the display's 0.5, level 1

class SettingsWindow : public ::testing::Test {
protected:
    void SetUp() override {
        mac = std::make_unique<VirtualMac>(TEST_BIN_DIR);
        mac->boot();
        ASSERT_EQ(vmac({"install", LIDORA_BUNDLE}).status, 0);
        pid = open();
        ASSERT_GT(pid, 0);
        ASSERT_TRUE(logShows("Phase loading -> needsApproval"));
        ASSERT_EQ(vmac({"approve", "com.zelquin.lidora.helper"}).status, 0);
        ASSERT_TRUE(logShows("Phase needsApproval -> ready(on)"));
    }

    void TearDown() override {
        if (pid > 0 && VirtualMac::isRunning(pid)) {
            ::kill(pid, SIGTERM);
            VirtualMac::waitFor([this] { return !VirtualMac::isRunning(pid); }, 5000ms);
        }
        mac.reset();
    }

    // The pid `vmac open` started, or 0 when it reopened a running app.
    int open() {
        const auto opened = vmac({"open", "Lidora"});
        std::smatch match;
        return std::regex_search(opened.out, match, std::regex("started \\(pid ([0-9]+)\\)")) ? std::stoi(match[1]) : 0;
    }

    [[nodiscard]] ProcessResult vmac(std::vector<std::string> arguments) const {
        return mac->vmac(std::move(arguments));
    }
    [[nodiscard]] bool logShows(const std::string& text, std::chrono::milliseconds limit = 15000ms) const {
        return VirtualMac::waitFor([&] { return vmac({"log", "show"}).out.find(text) != std::string::npos; }, limit);
    }
    [[nodiscard]] bool treeShows(const std::string& line, std::chrono::milliseconds limit = 5000ms) const {
        return VirtualMac::waitFor(
            [&] {
                return vmac({"ui", "tree", "Lidora"}).out.find(line) != std::string::npos;
            },
            limit);
    }
    [[nodiscard]] std::string appDefault(const std::string& key) const {
        const auto read = vmac({"defaults", "read", kApp, key});
        return read.status == 0 ? read.out : "absent";
    }
    [[nodiscard]] double nits() const {
        const auto logo = vmac({"logo", "--nits"});
        return logo.status == 0 ? std::stod(logo.out) : -1;
    }
    void ok(std::vector<std::string> arguments) const {
        const auto done = vmac(arguments);
        ASSERT_EQ(done.status, 0) << ::testing::PrintToString(arguments) << "\n" << done.out << done.err;
    }

    std::unique_ptr<VirtualMac> mac;
    int pid = 0;
};

TEST_F(SettingsWindow, ReopeningOpensItAndItsSwitchesFollowThePreferencesBothWays) {
    EXPECT_FALSE(treeShows("AXWindow \"Lidora Settings\"", 0ms));
    EXPECT_EQ(open(), 0) << "the running app is opened again";
    ASSERT_TRUE(treeShows("\n  AXWindow \"Lidora Settings\""));
    EXPECT_TRUE(treeShows("AXRadioButton \"General\" = \"1\""));

    ok({"ui", "select", "On Air"});
    ok({"ui", "press", "On Air light"});
    EXPECT_EQ(appDefault("onAirEnabled"), "0\n");
    EXPECT_EQ(appDefault("settingsTab"), "onAir\n");
    EXPECT_TRUE(treeShows("AXCheckBox \"On Air light\" = \"0\""));
    EXPECT_TRUE(treeShows("AXRadioButton \"Camera only\" = \"0\" disabled"));

    // Another process changes it: the window shows it at once.
    ok({"defaults", "write", kApp, "onAirEnabled", "-bool", "true"});
    EXPECT_TRUE(treeShows("AXCheckBox \"On Air light\" = \"1\""));
    ok({"ui", "set", "On Air light", "0"});
    EXPECT_EQ(appDefault("onAirEnabled"), "0\n");

    // A tab stored by hand that is no tab shows General and is left alone.
    ok({"defaults", "write", kApp, "settingsTab", "-string", "Everything"});
    EXPECT_TRUE(treeShows("AXRadioButton \"General\" = \"1\""));
    EXPECT_EQ(appDefault("settingsTab"), "Everything\n");

    // Hiding the icon: no menu-bar item to click, the icon picker disabled and a hint instead.
    ok({"ui", "press", "Show in menu bar"});
    EXPECT_EQ(appDefault("showMenuBarIcon"), "0\n");
    EXPECT_TRUE(treeShows("AXRadioButton \"Color\" = \"1\" disabled"));
    EXPECT_TRUE(treeShows("To get back to these settings, open Lidora again from your Applications folder."));
    EXPECT_FALSE(treeShows("AXMenuBarItem", 0ms));
    EXPECT_EQ(vmac({"ui", "menubar", "Lidora"}).status, 1);

    ok({"ui", "press", "Copy Diagnostics"});
    EXPECT_TRUE(VirtualMac::waitFor(
        [this] { return vmac({"pasteboard"}).out.find("\nLogo brightness: ") != std::string::npos; }, 5000ms))
        << vmac({"pasteboard"}).out;
}

TEST_F(SettingsWindow, UninstallGivesTheLightBackAtFullBrightnessRemovesTheHelperAndQuits) {
    ok({"defaults", "write", "K7QX4N2M9T.com.zelquin.lidora", "logoBrightnessLevel", "-float", "0.5"});
    ok({"notify", "post", "com.zelquin.lidora.brightness-changed"});
    ASSERT_TRUE(VirtualMac::waitFor([this] { return nits() > 0 && nits() < kFullNits * 0.5; }, 10000ms)) << nits();
    ok({"controlcenter", "toggle", "logo-light", "off"});
    ASSERT_TRUE(logShows("-> ready(off)"));

    ASSERT_THAT(vmac({"loginitems"}).out, HasSubstr("com.zelquin.lidora.helper"));

    EXPECT_EQ(open(), 0);
    ASSERT_TRUE(treeShows("\n  AXWindow \"Lidora Settings\""));
    ok({"ui", "press", "Uninstall Lidora…"});
    ASSERT_TRUE(treeShows("\n  AXWindow \"Uninstall Lidora?\""));
    ok({"ui", "press", "Cancel"});
    EXPECT_TRUE(VirtualMac::isRunning(pid));
    EXPECT_TRUE(treeShows("\n  AXWindow \"Lidora Settings\""));

    ok({"ui", "press", "Uninstall Lidora…"});
    ASSERT_TRUE(treeShows("\n  AXWindow \"Uninstall Lidora?\""));
    ok({"ui", "press", "Uninstall"});
    EXPECT_TRUE(VirtualMac::waitFor([this] { return !VirtualMac::isRunning(pid); }, 15000ms)) << "the app quits";
    // The app's last level may still be reaching the logo as it quits.
    EXPECT_TRUE(VirtualMac::waitFor([this] { return std::abs(nits() - kFullNits) < kFullNits * 0.01; }, 5000ms))
        << "lit at full brightness: " << nits();
    EXPECT_THAT(vmac({"loginitems"}).out, Not(HasSubstr("com.zelquin.lidora.helper")));
    EXPECT_EQ(appDefault("onAirDarkOtherwise"), "0\n");
    EXPECT_EQ(vmac({"trash"}).out, "Lidora.app\n");
    EXPECT_TRUE(logShows("Moved Lidora to the Trash"));
}

}  // namespace
}  // namespace lidora::testing
