// The logo effects of the real app, headless, with its helper daemon and
// corebrightnessd, on one temporary virtual Mac shared by the file's tests;
// each test leaves the Mac unlocked, on AC, the camera idle and the light on.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <memory>
#include <regex>
#include <set>
#include <thread>

#include "tests/support/Files.h"
#include "tests/support/Spawned.h"
#include "tests/support/VirtualMac.h"

namespace lidora::testing {
namespace {

using namespace std::chrono_literals;
using ::testing::HasSubstr;

constexpr auto kApp = "com.zelquin.lidora";
constexpr auto kCamera = "FaceTime HD Camera";
constexpr double kNormalNits = 60.0;  // the factory curve at the display's 0.5, level 1
constexpr auto kFactoryCurve = "(0, 2) (0.25, 20) (0.5, 60) (0.75, 130) (1, 250)";

std::vector<std::string> matches(const std::string& text, const std::regex& pattern) {
    std::vector<std::string> found;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), pattern); it != std::sregex_iterator(); ++it) {
        found.push_back((*it)[1].str());
    }
    return found;
}

class LogoEffects : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        mac = std::make_unique<VirtualMac>(TEST_BIN_DIR);
        mac->boot();
        ASSERT_EQ(mac->vmac({"install", LIDORA_BUNDLE}).status, 0);
        open();
        ASSERT_TRUE(logShows("Phase loading -> needsApproval"));
        ASSERT_EQ(mac->vmac({"approve", "com.zelquin.lidora.helper"}).status, 0);
        ASSERT_TRUE(logShows("Phase needsApproval -> ready(on)"));
    }

    static void TearDownTestSuite() {
        if (pid > 0) {
            ::kill(pid, SIGTERM);
            VirtualMac::waitFor([] { return !VirtualMac::isRunning(pid); }, 5000ms);
        }
        mac.reset();
    }

    // Right after a crash the bus may name the dead app as running for a moment.
    static void open() {
        ProcessResult opened;
        std::smatch match;
        ASSERT_TRUE(VirtualMac::waitFor(
            [&] {
                opened = mac->vmac({"open", "Lidora"});
                return std::regex_search(opened.out, match, std::regex("started \\(pid ([0-9]+)\\)"));
            },
            5000ms))
            << opened.out << opened.err;
        pid = std::stoi(match[1]);
    }

    static bool logShows(const std::string& text, std::chrono::milliseconds limit = 15000ms) {
        return VirtualMac::waitFor([&] { return log().find(text) != std::string::npos; }, limit);
    }
    static std::string log() { return mac->vmac({"log", "show"}).out; }
    static std::size_t logCount(const std::string& text) {
        const auto shown = log();
        std::size_t count = 0;
        for (auto at = shown.find(text); at != std::string::npos; at = shown.find(text, at + 1)) {
            ++count;
        }
        return count;
    }
    // Waits for one more line with `text` than `before`.
    static bool logAdds(const std::string& text, std::size_t before, std::chrono::milliseconds limit = 10000ms) {
        return VirtualMac::waitFor([&] { return logCount(text) > before; }, limit);
    }

    static ProcessResult vmac(std::vector<std::string> arguments) { return mac->vmac(std::move(arguments)); }

    static double nits() {
        const auto logo = vmac({"logo", "--nits"});
        return logo.status == 0 ? std::stod(logo.out) : -1;
    }
    static bool nitsNear(double expected, std::chrono::milliseconds limit = 5000ms) {
        return VirtualMac::waitFor([&] { return std::abs(nits() - expected) < expected * 0.01; }, limit);
    }
    // The curve in effect, as `vmac logo` prints it.
    static std::string curve() {
        const auto logo = vmac({"logo"}).out;
        std::smatch match;
        return std::regex_search(logo, match, std::regex("Curve \\(LEPWMBrightnessNitsMapping\\): (.*)\n"))
                   ? match[1].str()
                   : "";
    }
    static std::string appDefault(const std::string& key) {
        const auto read = vmac({"defaults", "read", kApp, key});
        return read.status == 0 ? read.out : "absent";
    }
    static std::string backlightMode() {
        const auto read = vmac({"defaults", "read", "com.apple.CoreBrightness", "LEBacklightMode"});
        return read.status == 0 ? read.out : "absent";
    }

    static std::unique_ptr<VirtualMac> mac;
    static int pid;
};

std::unique_ptr<VirtualMac> LogoEffects::mac;
int LogoEffects::pid = 0;

TEST_F(LogoEffects, BreathesWhileLockedOnMainsAndUnlockGivesTheLevelBack) {
    ASSERT_TRUE(nitsNear(kNormalNits));
    ASSERT_EQ(vmac({"power", "ac"}).status, 0);
    const auto stopped = logCount("Breathing stopped");
    ASSERT_EQ(vmac({"lock"}).status, 0);

    ProcessResult watched;
    std::thread watcher([&] { watched = vmac({"watch", "--seconds", "3"}); });
    // The wave runs from 0.27 to 3.5 times the originals; 3 s of it rises well past both sides of 60 nits.
    std::set<double> seen;
    const auto until = std::chrono::steady_clock::now() + 3s;
    while (std::chrono::steady_clock::now() < until) {
        seen.insert(nits());
    }
    watcher.join();
    EXPECT_GE(seen.size(), 10U);
    EXPECT_LT(*seen.begin(), kNormalNits * 0.5);
    EXPECT_GT(*seen.rbegin(), kNormalNits * 1.5);
    EXPECT_THAT(watched.out, HasSubstr("\n\u25b2 lit, ")) << "vmac watch shows the level rising";
    EXPECT_THAT(watched.out, ::testing::Not(HasSubstr("Morse"))) << "and reads no Morse into it";

    ASSERT_EQ(vmac({"unlock"}).status, 0);
    EXPECT_TRUE(logAdds("Breathing stopped", stopped));
    EXPECT_TRUE(nitsNear(kNormalNits)) << nits();
}

TEST_F(LogoEffects, CameraInUseFlashesOnAirInMorse) {
    ASSERT_TRUE(nitsNear(kNormalNits));
    const auto stopped = logCount("On Air signal stopped");
    const auto output = mac->root() / "scratch" / "watch.out";
    Spawned watch(
        {"/bin/sh", "-c", "exec \"$0\" watch --seconds 30 >\"$1\"", (mac->bin() / "vmac").string(), output.string()},
        {"VMAC_ROOT=" + mac->root().string()});
    // Its first line says it has seen the steady logo, before the first dash.
    ASSERT_TRUE(VirtualMac::waitFor([&] { return readFile(output).find('\n') != std::string::npos; }, 5000ms));
    ASSERT_EQ(vmac({"camera", "start"}).status, 0) << "the first camera by default";
    // One pass of 18.4 s, read back at its final pause.
    EXPECT_TRUE(
        VirtualMac::waitFor([&] { return readFile(output).find("Morse text: ") != std::string::npos; }, 25000ms));
    ASSERT_EQ(vmac({"camera", "stop", kCamera}).status, 0);
    const auto watched = readFile(output);
    // Each character as it completed, then the whole text.
    std::string letters;
    for (const std::regex letter("Morse letter: (.+)\n"); const auto& match : matches(watched, letter)) {
        letters += match;
    }
    EXPECT_EQ(letters, "ONAIR") << watched;
    EXPECT_THAT(watched.substr(watched.find("Morse text: ")), ::testing::StartsWith("Morse text: ON AIR\n"));
    EXPECT_TRUE(logAdds("On Air signal stopped", stopped));
    EXPECT_TRUE(nitsNear(kNormalNits));
}

TEST_F(LogoEffects, KeepDarkSwitchesTheLightThroughTheHelperAndGivesItBack) {
    ASSERT_TRUE(nitsNear(kNormalNits));
    const auto onAir = logCount("Logo effect none -> onAir");
    ASSERT_EQ(vmac({"defaults", "write", kApp, "onAirDarkOtherwise", "-bool", "true"}).status, 0);
    EXPECT_TRUE(logShows("On Air dark mode: turning the light off"));
    EXPECT_TRUE(VirtualMac::waitFor([] { return nits() == 0.0; }, 10000ms)) << "dark, not dimmed: " << nits();
    EXPECT_EQ(backlightMode(), "0\n");
    EXPECT_TRUE(VirtualMac::waitFor([] { return appDefault("onAirTurnedLightOff") == "1\n"; }, 5000ms));

    ASSERT_EQ(vmac({"camera", "start", kCamera}).status, 0);
    EXPECT_TRUE(VirtualMac::waitFor([] { return backlightMode() == "1\n" || backlightMode() == "absent"; }, 10000ms));
    EXPECT_TRUE(VirtualMac::waitFor([] { return nits() > 0; }, 10000ms)) << "lit for the On Air signal";
    EXPECT_TRUE(logAdds("Logo effect none -> onAir", onAir));
    ASSERT_EQ(vmac({"camera", "stop", kCamera}).status, 0);
    EXPECT_TRUE(VirtualMac::waitFor([] { return backlightMode() == "0\n"; }, 10000ms)) << "dark again";

    ASSERT_EQ(vmac({"defaults", "write", kApp, "onAirDarkOtherwise", "-bool", "false"}).status, 0);
    EXPECT_TRUE(VirtualMac::waitFor([] { return backlightMode() != "0\n"; }, 10000ms)) << "the light given back";
    EXPECT_TRUE(VirtualMac::waitFor([] { return appDefault("onAirTurnedLightOff") == "absent"; }, 5000ms));
    EXPECT_TRUE(nitsNear(kNormalNits, 10000ms)) << nits();
}

TEST_F(LogoEffects, MessageSentFromTheMessageWindowIsFlashedAndDecodesBack) {
    ASSERT_TRUE(nitsNear(kNormalNits));
    ASSERT_EQ(vmac({"key", "shift+cmd+0"}).status, 0);
    ProcessResult tree;
    ASSERT_TRUE(VirtualMac::waitFor(
        [&] {
            tree = vmac({"ui", "tree", "Lidora"});
            return tree.out.find("\n  AXWindow \"Send a Message\"") != std::string::npos;
        },
        5000ms))
        << tree.out << tree.err;
    ASSERT_EQ(vmac({"ui", "set", "Message", "SOS"}).status, 0);
    ASSERT_EQ(vmac({"ui", "select", "Pro"}).status, 0);
    // Without the start and end markers the logo flashes only the text.
    ASSERT_EQ(vmac({"ui", "press", "Start and end markers"}).status, 0);
    tree = vmac({"ui", "tree", "Lidora"});
    for (const auto* line :
         {"AXStaticText \"Send a Message\"\n", "AXTextField \"Message\" = \"SOS\" focused\n",
          "AXRadioButton \"Slow\" = \"0\"\n", "AXRadioButton \"Pro\" = \"1\"\n",
          "AXCheckBox \"Start and end markers\" = \"0\"\n",
          "AXStaticText \"Morse code preview\" = \"\u00b7\u00b7\u00b7 \u2212\u2212\u2212 \u00b7\u00b7\u00b7\"\n",
          "AXButton \"Cancel\"\n", "AXButton \"Send\"\n"}) {
        EXPECT_THAT(tree.out, HasSubstr(line)) << tree.out;
    }

    const auto unknown = vmac({"ui", "press", "Transmit"});
    EXPECT_EQ(unknown.status, 1);
    EXPECT_THAT(unknown.err, HasSubstr("no element is labelled \"Transmit\" in Lidora"));
    const auto stranger = mac->runAsNobody({(mac->bin() / "vmac").string(), "ui", "tree", "Lidora"});
    EXPECT_EQ(stranger.status, 1) << "another user may not script the app: " << stranger.out;
    EXPECT_THAT(stranger.err, HasSubstr("only processes of")) << stranger.err;
    ASSERT_EQ(::kill(pid, SIGSTOP), 0);
    const auto hung = vmac({"ui", "tree", "Lidora", "--timeout", "0.5"});
    ASSERT_EQ(::kill(pid, SIGCONT), 0);
    EXPECT_EQ(hung.status, 1);
    EXPECT_THAT(hung.err, HasSubstr("Lidora: the application did not answer within 0.5 s"));

    const auto output = mac->root() / "scratch" / "message.out";
    Spawned watch(
        {"/bin/sh", "-c", "exec \"$0\" watch --seconds 30 >\"$1\"", (mac->bin() / "vmac").string(), output.string()},
        {"VMAC_ROOT=" + mac->root().string()});
    // Its first line says it has seen the steady logo, before the first dot.
    ASSERT_TRUE(VirtualMac::waitFor([&] { return readFile(output).find('\n') != std::string::npos; }, 5000ms));
    const auto pressed = vmac({"ui", "press", "Send"});
    ASSERT_EQ(pressed.status, 0) << pressed.err;
    EXPECT_TRUE(
        VirtualMac::waitFor([&] { return readFile(output).find("Morse text: ") != std::string::npos; }, 20000ms));
    const auto watched = readFile(output);
    EXPECT_THAT(watched.substr(std::min(watched.find("Morse text: "), watched.size())),
                ::testing::StartsWith("Morse text: SOS\n"))
        << watched;
    EXPECT_TRUE(nitsNear(kNormalNits, 10000ms));
}

// Last: it kills the app and starts another.
TEST_F(LogoEffects, CrashWhileBreathingLeavesTheMarkAndTheNextStartRestoresTheLevel) {
    // A level whose tables no breathing frame ever equals (0.02^0.5 is below the wave's 0.27).
    ASSERT_EQ(
        vmac({"defaults", "write", "K7QX4N2M9T.com.zelquin.lidora", "logoBrightnessLevel", "-float", "0.5"}).status, 0);
    ASSERT_EQ(vmac({"notify", "post", "com.zelquin.lidora.brightness-changed"}).status, 0);
    ASSERT_TRUE(nitsNear(kNormalNits * 0.1414, 10000ms)) << nits();
    const auto levelCurve = curve();

    const auto started = logCount("Breathing started");
    ASSERT_EQ(vmac({"lock"}).status, 0);
    ASSERT_TRUE(logAdds("Breathing started", started));
    ASSERT_TRUE(VirtualMac::waitFor([] { return nits() > kNormalNits * 0.2; }, 5000ms)) << "breathing is on the logo";
    ASSERT_EQ(::kill(pid, SIGKILL), 0);
    ASSERT_TRUE(VirtualMac::waitFor([] { return !VirtualMac::isRunning(pid); }, 5000ms));
    EXPECT_EQ(appDefault("logoBrightnessAnimating"), "1\n");
    EXPECT_NE(curve(), levelCurve) << "the crash left a scaled frame";

    ASSERT_EQ(vmac({"unlock"}).status, 0);
    open();
    EXPECT_TRUE(VirtualMac::waitFor([&] { return curve() == levelCurve; }, 10000ms)) << curve() << log();
    EXPECT_EQ(appDefault("logoBrightnessAnimating"), "absent");

    ASSERT_EQ(vmac({"defaults", "write", "K7QX4N2M9T.com.zelquin.lidora", "logoBrightnessLevel", "-float", "1"}).status,
              0);
    ASSERT_EQ(vmac({"notify", "post", "com.zelquin.lidora.brightness-changed"}).status, 0);
    // The display may keep the wiggle of the frame the crash cut short; the tables are the factory ones.
    EXPECT_TRUE(VirtualMac::waitFor([] { return curve() == kFactoryCurve; }, 10000ms)) << curve();
}

}  // namespace
}  // namespace lidora::testing
