// The real extension, daemon and app on a temporary virtual Mac, driven
// through vmac controlcenter as Control Center would drive them.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>

#include "tests/support/VirtualMac.h"

namespace lidora::testing {
namespace {

using namespace std::chrono_literals;
using ::testing::HasSubstr;
using ::testing::StartsWith;

constexpr auto kHelperLabel = "com.zelquin.lidora.helper";
constexpr auto kGroup = "K7QX4N2M9T.com.zelquin.lidora";

class ControlCenter : public ::testing::Test {
protected:
    // Each test plays a whole story on one Mac of its own.
    void SetUp() override { mac = std::make_unique<VirtualMac>(TEST_BIN_DIR); }
    void TearDown() override { mac.reset(); }

    static void bootWithApp() {
        mac->boot();
        const auto installed = mac->vmac({"install", LIDORA_BUNDLE});
        ASSERT_EQ(installed.status, 0) << installed.err;
        const auto opened = mac->vmac({"open", "Lidora"});
        ASSERT_EQ(opened.status, 0) << opened.err;
        ASSERT_TRUE(logShows("Phase loading -> needsApproval"));
    }

    static bool logShows(const std::string& text, std::chrono::milliseconds limit = 15000ms) {
        return VirtualMac::waitFor(
            [&] {
                return mac->vmac({"log", "show"}).out.find(text) != std::string::npos;
            },
            limit);
    }
    // The app of this Mac, known by the program it runs.
    static std::optional<pid_t> appPid() {
        const auto program = mac->root() / "Applications" / "Lidora.app" / "Contents" / "MacOS" / "Lidora";
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
            const auto name = entry.path().filename().string();
            if (name.find_first_not_of("0123456789") != std::string::npos) {
                continue;
            }
            const auto exe = std::filesystem::read_symlink(entry.path() / "exe", error);
            if (!error && exe == program && VirtualMac::isRunning(std::stoi(name))) {
                return std::stoi(name);
            }
        }
        return std::nullopt;
    }
    static void quitApp() {
        if (const auto pid = appPid()) {
            ::kill(*pid, SIGTERM);
            ASSERT_TRUE(VirtualMac::waitFor([&] { return !VirtualMac::isRunning(*pid); }, 5000ms));
        }
    }
    static double nits() {
        const auto logo = mac->vmac({"logo", "--nits"});
        return logo.status == 0 ? std::stod(logo.out) : -1;
    }
    static std::string level() { return mac->vmac({"defaults", "read", kGroup, "logoBrightnessLevel"}).out; }
    static ProcessResult controlCenter(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), "controlcenter");
        return mac->vmac(std::move(arguments));
    }

    static inline std::unique_ptr<VirtualMac> mac;
};

TEST_F(ControlCenter, UnapprovedHelperFailsTheSwitchAndBringsUpTheApp) {
    bootWithApp();
    quitApp();
    const auto toggled = controlCenter({"toggle", "logo-light", "off"});
    EXPECT_EQ(toggled.status, 1);
    EXPECT_EQ(toggled.out, "Lidora couldn't change the logo light. Open Lidora to finish setup.\n");
    EXPECT_TRUE(logShows("Launched com.zelquin.lidora")) << mac->vmac({"log", "show"}).out;
    EXPECT_TRUE(logShows("activating it"));
    EXPECT_TRUE(VirtualMac::waitFor([] { return appPid().has_value(); }, 5000ms));

    const auto shown = controlCenter({});
    EXPECT_EQ(shown.status, 0) << shown.err;
    EXPECT_THAT(shown.out, HasSubstr("Apple Logo Light  unavailable: Couldn't reach the Lidora helper"));
    EXPECT_THAT(shown.out, HasSubstr("Logo Brightness    100%  sun.max.fill")) << "the level without the light";
}

TEST_F(ControlCenter, SwitchesWithoutTheAppAndStepsThroughIt) {
    bootWithApp();
    ASSERT_EQ(mac->vmac({"approve", kHelperLabel}).status, 0);
    ASSERT_TRUE(logShows("Phase needsApproval -> ready(on)"));
    ASSERT_TRUE(VirtualMac::waitFor([] { return nits() > 0; }, 10000ms));
    const double full = nits();

    // A tap with the app running: it applies the stored level.
    auto tapped = controlCenter({"tap", "logo-brightness"});
    ASSERT_EQ(tapped.status, 0) << tapped.out << tapped.err;
    EXPECT_EQ(tapped.out, "Logo Brightness    60%   sun.max.fill\n");
    EXPECT_EQ(level(), "0.8694216207171603\n");
    EXPECT_TRUE(VirtualMac::waitFor([&] { return nits() > 0 && nits() < full * 0.8; }, 10000ms)) << nits();
    const double sixty = nits();

    // The switch without the app.
    quitApp();
    const auto off = controlCenter({"toggle", "logo-light", "off"});
    ASSERT_EQ(off.status, 0) << off.out << off.err;
    EXPECT_EQ(off.out, "Apple Logo Light   Off   lightbulb.slash off\n");
    EXPECT_EQ(mac->vmac({"defaults", "read", "com.apple.CoreBrightness", "LEBacklightMode"}).out, "0\n");
    EXPECT_EQ(controlCenter({"tap", "logo-brightness"}).out, "Logo Brightness    60%   sun.max.fill\n")
        << "a tap on a dark logo only turns it on";
    EXPECT_EQ(mac->vmac({"defaults", "read", "com.apple.CoreBrightness", "LEBacklightMode"}).status, 1);
    EXPECT_EQ(level(), "0.8694216207171603\n");
    // That tap launched the app in the background; quit it again.
    ASSERT_TRUE(VirtualMac::waitFor([] { return appPid().has_value(); }, 5000ms));
    quitApp();

    // A tap with the app not running launches it, and it applies the level.
    tapped = controlCenter({"tap", "logo-brightness"});
    ASSERT_EQ(tapped.status, 0) << tapped.out << tapped.err;
    EXPECT_EQ(level(), "0.6922378005816023\n");
    EXPECT_TRUE(logShows("in the background"));
    EXPECT_TRUE(VirtualMac::waitFor([] { return appPid().has_value(); }, 5000ms));
    EXPECT_TRUE(VirtualMac::waitFor([&] { return nits() > 0 && nits() < sixty * 0.8; }, 10000ms)) << nits();
    EXPECT_EQ(controlCenter({"--preview"}).out,
              "Apple Logo Light   On    lightbulb.fill  on\nLogo Brightness    100%  sun.max.fill\n");

    // An unsigned copy of the extension is refused by the daemon.
    const auto appex = mac->root() / "Applications" / "Lidora.app" / "Contents" / "PlugIns" / "LidoraControl.appex" /
                       "Contents" / "MacOS" / "LidoraControl";
    const auto copy = mac->signedCopy(appex, "LidoraControl", "", "");
    const auto asked = mac->run(
        {"/bin/sh", "-c", "echo '{\"request\":\"value\",\"kind\":\"com.zelquin.lidora.control.logo-light\"}' | \"$0\"",
         copy.string()});
    EXPECT_THAT(asked.out, HasSubstr("Couldn't reach the Lidora helper: ")) << asked.err;
    const auto signedOne = mac->run(
        {"/bin/sh", "-c", "echo '{\"request\":\"value\",\"kind\":\"com.zelquin.lidora.control.logo-light\"}' | \"$0\"",
         appex.string()});
    EXPECT_THAT(signedOne.out, HasSubstr("\"valueText\":\"On\"")) << signedOne.err;
}

}  // namespace
}  // namespace lidora::testing
