// Shortcuts and Siri against the real app, daemon and corebrightnessd on a
// temporary virtual Mac, driven through vmac as a person would.
#include <gtest/gtest.h>
#include <signal.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

#include "tests/support/VirtualMac.h"

namespace lidora::testing {
namespace {

using namespace std::chrono_literals;

constexpr auto kApp = "com.zelquin.lidora";
constexpr auto kGroup = "K7QX4N2M9T.com.zelquin.lidora";
constexpr auto kLight = "Turn Apple Logo Light On or Off";

class ShortcutsTest : public ::testing::Test {
protected:
    void SetUp() override {
        mac.boot();
        const auto installed = mac.vmac({"install", LIDORA_BUNDLE});
        ASSERT_EQ(installed.status, 0) << installed.err;
    }

    void TearDown() override {
        if (const auto pid = appPid()) {
            ::kill(*pid, SIGTERM);
            VirtualMac::waitFor([&] { return ::kill(*pid, 0) != 0; }, 5000ms);
        }
    }

    // Opens the app and approves its helper, as a user would on first launch.
    void openApproved() {
        ASSERT_EQ(mac.vmac({"open", "Lidora"}).status, 0);
        ASSERT_TRUE(logShows("Phase loading -> needsApproval"));
        ASSERT_EQ(mac.vmac({"approve", "com.zelquin.lidora.helper"}).status, 0);
        ASSERT_TRUE(logShows("-> ready(on)"));
    }

    // The app of this Mac, found by the program it runs.
    [[nodiscard]] std::optional<int> appPid() const {
        const auto program = (mac.root() / "Applications/Lidora.app/Contents/MacOS/Lidora").string();
        for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
            std::ifstream cmdline(entry.path() / "cmdline");
            std::string first;
            if (std::getline(cmdline, first, '\0') && first == program &&
                VirtualMac::isRunning(std::stoi(entry.path().filename()))) {
                return std::stoi(entry.path().filename());
            }
        }
        return std::nullopt;
    }

    bool logShows(const std::string& text) const {
        return VirtualMac::waitFor(
            [&] {
                return mac.vmac({"log", "show"}).out.find(text) != std::string::npos;
            },
            15000ms);
    }

    ProcessResult shortcut(std::vector<std::string> arguments) const {
        arguments.insert(arguments.begin(), {"shortcuts", "run"});
        return mac.vmac(std::move(arguments));
    }

    [[nodiscard]] std::string read(const char* domain, const char* key) const {
        return mac.vmac({"defaults", "read", domain, key}).out;
    }

    [[nodiscard]] double nits() const {
        const auto logo = mac.vmac({"logo", "--nits"});
        return logo.status == 0 ? std::stod(logo.out) : -1;
    }

    // corebrightnessd looks at the light again when the display brightness
    // changes, so the display is nudged and put back, as the panel's slider would.
    bool nitsSettle(const std::function<bool(double)>& wanted) const {
        return VirtualMac::waitFor(
            [&] {
                if (wanted(nits())) {
                    return true;
                }
                (void)mac.vmac({"display", "brightness", "0.51"});
                (void)mac.vmac({"display", "brightness", "0.5"});
                return wanted(nits());
            },
            10000ms);
    }

    VirtualMac mac{TEST_BIN_DIR};
};

TEST_F(ShortcutsTest, EveryActionAnswersChangesItsPreferenceAndTheLogo) {
    openApproved();
    ASSERT_TRUE(nitsSettle([](double n) { return n > 0; }));
    const double full = nits();
    struct Row {
        std::vector<std::string> arguments;
        std::string dialog;
        const char* domain;  // what it stores, when it stores something
        const char* key;
        std::string stored;
        std::function<bool(double)> logo;  // what the logo settles at
    };
    const std::vector<Row> rows{
        {{kLight, "--state", "off"},
         "The Apple logo light is off.",
         nullptr,
         nullptr,
         "",
         [](double n) { return n == 0; }},
        {{kLight, "--state", "On"},
         "The Apple logo light is on.",
         nullptr,
         nullptr,
         "",
         [&](double n) { return std::abs(n - full) < 0.5; }},
        {{"Set Apple Logo Brightness Level", "--level", "30 percent"},
         "The Apple logo is at 30 percent.",
         kGroup,
         "logoBrightnessLevel",
         "0.6922378005816023\n",
         [&](double n) { return std::abs(n - 0.3 * full) < 0.5; }},
        {{"Dim the Apple Logo"},
         "The Apple logo is at its dimmest.",
         kGroup,
         "logoBrightnessLevel",
         "0\n",
         [&](double n) { return n > 0 && n < 0.1 * full; }},
        {{"Brighten the Apple Logo"},
         "The Apple logo is at 30 percent.",
         kGroup,
         "logoBrightnessLevel",
         "0.6922378005816023\n",
         [&](double n) { return std::abs(n - 0.3 * full) < 0.5; }},
        {{"Set Apple Logo Brightness", "--percent", "150"},
         "The Apple logo is at 100 percent.",
         kGroup,
         "logoBrightnessLevel",
         "1\n",
         [&](double n) { return std::abs(n - full) < 0.5; }},
        {{"Send a Morse Message", "--message", "  SOS \u263A\n", "--speed", "Pro", "--markers", "false"},
         "Sending \u201CSOS \u263A\u201D in Morse code. It takes about 6 seconds. Skipped: \u263A.",
         nullptr,
         nullptr,
         "",
         nullptr},
        {{"Turn On Air Light On or Off", "--state", "off"},
         "The On Air light is off.",
         kApp,
         "onAirEnabled",
         "0\n",
         nullptr},
        {{"Set On Air Trigger", "--trigger", "camera"},
         "The On Air light will turn on while an app uses the camera. The On Air light itself is off.",
         kApp,
         "onAirSource",
         "camera\n",
         nullptr},
        {{"Keep Logo Dark Except When On Air", "--state", "on"},
         "Saved. Turn the On Air light on for it to take effect.",
         kApp,
         "onAirDarkOtherwise",
         "1\n",
         nullptr},
        {{"Turn Breathing On or Off", "--state", "off"},
         "Breathing is off.",
         kApp,
         "breatheWhenLockedAndCharging",
         "0\n",
         nullptr},
    };
    for (const auto& row : rows) {
        const auto ran = shortcut(row.arguments);
        EXPECT_EQ(ran.status, 0) << row.arguments[0] << ": " << ran.err;
        EXPECT_EQ(ran.out, row.dialog + "\n") << row.arguments[0];
        if (row.key != nullptr) {
            EXPECT_EQ(read(row.domain, row.key), row.stored) << row.arguments[0];
        }
        if (row.logo) {
            EXPECT_TRUE(nitsSettle(row.logo)) << row.arguments[0] << ": " << nits() << " of " << full;
        }
    }
}

TEST_F(ShortcutsTest, SiriDimsTheLogoAndTellsUnknownPhrasesApart) {
    openApproved();
    ASSERT_TRUE(nitsSettle([](double n) { return n > 0; }));
    const double full = nits();
    const auto dimmed = mac.vmac({"siri", "Dim the logo with Lidora"});
    EXPECT_EQ(dimmed.status, 0) << dimmed.err;
    EXPECT_EQ(dimmed.out, "The Apple logo is at 60 percent.\n");
    EXPECT_TRUE(nitsSettle([&](double n) { return std::abs(n - 0.6 * full) < 0.5; })) << nits();
    const auto unknown = mac.vmac({"siri", "Dim the logo with Photos"});
    EXPECT_EQ(unknown.status, 1);
    EXPECT_NE(unknown.err.find("no App Shortcut matches"), std::string::npos) << unknown.err;
}

// The flashes read back as Morse by `vmac watch`, and the logo given back.
TEST_F(ShortcutsTest, MorseFlashesOnTheLogoDecodeBackToTheMessage) {
    openApproved();
    ASSERT_TRUE(nitsSettle([](double n) { return n > 0; }));
    const double before = nits();
    const std::string command = "VMAC_ROOT='" + mac.root().string() + "' exec timeout 25 '" +
                                (mac.bin() / "vmac").string() + "' watch --decode-only --count 1 2>/dev/null";
    std::FILE* watch = ::popen(command.c_str(), "r");
    ASSERT_NE(watch, nullptr);
    std::string heard;
    std::thread reader([&] {
        char line[512];
        while (std::fgets(line, sizeof line, watch) != nullptr) {
            heard += line;
        }
    });
    std::this_thread::sleep_for(500ms);
    const auto sent = shortcut({"Send a Morse Message", "--message", "sos", "--markers", "false"});
    EXPECT_EQ(sent.status, 0) << sent.err;
    reader.join();
    ::pclose(watch);
    EXPECT_EQ(heard, "SOS\n");
    EXPECT_TRUE(nitsSettle([&](double n) { return std::abs(n - before) < 0.5; })) << nits();
}

TEST_F(ShortcutsTest, WithoutApprovalTheLightActionFailsWithTheHelpersText) {
    // The app is not running: Shortcuts starts it, and it has no approved helper yet.
    const auto ran = shortcut({kLight, "--state", "off"});
    EXPECT_EQ(ran.status, 1);
    EXPECT_EQ(ran.out, "");
    EXPECT_TRUE(ran.err.starts_with("Couldn't reach the Lidora helper")) << ran.err;
    EXPECT_TRUE(appPid().has_value()) << "the app was started and keeps running";
    EXPECT_GT(nits(), 0) << "the light was not switched";
}

TEST_F(ShortcutsTest, BadInputAndAHungAppGetClearErrors) {
    openApproved();
    struct Row {
        std::vector<std::string> arguments;
        int status;
        std::string error;
    };
    const std::vector<Row> rows{
        {{"Turn The Moon On"}, 1, "no app offers an action titled"},
        {{kLight, "--level", "dim"}, 64, "has no parameter --level"},
        {{kLight}, 1, "there is no terminal to ask on"},
        {{"Send a Morse Message", "--message", "\u263A\u263A"},
         1,
         "There's nothing in that message that Morse code can send."},
    };
    for (const auto& row : rows) {
        const auto ran = shortcut(row.arguments);
        EXPECT_EQ(ran.status, row.status) << row.arguments[0];
        EXPECT_NE(ran.err.find(row.error), std::string::npos) << row.arguments[0] << ": " << ran.err;
    }
    // A message too long for one argument is still cut to its first 200 characters.
    std::string lengthy(120000, 'e');
    const auto cut = shortcut({"Send a Morse Message", "--message", lengthy, "--speed", "pro"});
    EXPECT_EQ(cut.status, 0) << cut.err;
    EXPECT_TRUE(cut.out.starts_with("Sending \u201C" + std::string(200, 'e') + "\u201D in Morse code.")) << cut.out;

    // Every user shares the bus; another one may not run this user's actions.
    const auto stranger = mac.runAsNobody(
        {(mac.bin() / "vmac").string(), "shortcuts", "run", "Turn Breathing On or Off", "--state", "on"});
    EXPECT_EQ(stranger.status, 1);
    EXPECT_NE(stranger.err.find("only the app's own user may run its actions"), std::string::npos) << stranger.err;

    const auto pid = appPid();
    ASSERT_TRUE(pid);
    ::kill(*pid, SIGSTOP);
    const auto hung = shortcut({"--timeout", "1", "Turn Breathing On or Off", "--state", "on"});
    ::kill(*pid, SIGCONT);
    EXPECT_EQ(hung.status, 1);
    EXPECT_NE(hung.err.find("did not answer within 1 s"), std::string::npos) << hung.err;
    const auto after = shortcut({"Turn Breathing On or Off", "--state", "off"});
    EXPECT_EQ(after.out, "Breathing is off.\n") << after.err;
    EXPECT_EQ(appPid(), pid) << "the same app answers once it runs again";
}

}  // namespace
}  // namespace lidora::testing
