#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/pasteboard/DesktopClipboard.h"
#include "tests/support/Files.h"
#include "tests/support/TempDir.h"

namespace lidora::testing {
namespace {

using namespace std::chrono_literals;
using ::testing::HasSubstr;

// A stand-in for a clipboard tool: notes its arguments and its input beside itself.
void installTool(const std::filesystem::path& folder, const std::string& name, const std::string& then = {}) {
    writeFile(folder / name, "#!/bin/sh\nprintf '%s\\n' \"$*\" > \"$0.args\"\ncat > \"$0.input\"\n" + then);
    ::chmod((folder / name).c_str(), 0755);
}

TEST(DesktopClipboardTest, TheSessionsOwnToolIsChosenAndGetsTheText) {
    const struct {
        std::string wayland, display;
        std::vector<std::string> tools;
        std::string used, put, clear;  // used empty: no clipboard
    } cases[] = {
        {"wayland-0", ":0", {"wl-copy", "xclip"}, "wl-copy", "--type text/plain;charset=utf-8", "--clear"},
        {"", ":0", {"wl-copy", "xclip", "xsel"}, "xclip", "-selection clipboard -in", "-selection clipboard -in"},
        {"", ":1", {"xsel"}, "xsel", "--clipboard --input", "--clipboard --clear"},
        {"wayland-0", ":0", {"xclip"}, "xclip", "-selection clipboard -in", "-selection clipboard -in"},
        {"", "", {"wl-copy", "xclip"}, "", "", ""},
        {"wayland-0", ":0", {}, "", "", ""},
    };
    // More than a pipe holds: a writer waiting for the tool to read would stall.
    const std::string text = "Logo brightness: 0.60\n" + std::string(300'000, 'x');
    for (const auto& c : cases) {
        TempDir bin;
        for (const auto& tool : c.tools) {
            installTool(bin.path(), tool);
        }
        const auto clipboard = vmac::desktopClipboardFor({c.wayland, c.display, "rel/bin:" + bin.path().string()}, 10s);
        ASSERT_EQ(clipboard != nullptr, !c.used.empty()) << c.wayland << c.display;
        if (clipboard) {
            const auto noted = (bin.path() / c.used).string();
            ASSERT_TRUE(clipboard->put(text)) << c.used;
            EXPECT_EQ(readFile(noted + ".args"), c.put + "\n");
            EXPECT_EQ(readFile(noted + ".input"), text);
            ASSERT_TRUE(clipboard->clear()) << c.used;
            EXPECT_EQ(readFile(noted + ".args"), c.clear + "\n");
            EXPECT_EQ(readFile(noted + ".input"), "");
        }
    }
}

TEST(DesktopClipboardTest, AFailingOrHungToolIsReportedAndNeverWaitedForPastTheLimit) {
    TempDir bin;
    installTool(bin.path(), "xclip", "exit 3\n");
    installTool(bin.path(), "wl-copy", "exec sleep 60\n");
    EXPECT_THAT(vmac::desktopClipboardFor({"", ":0", bin.path().string()}, 10s)->put("text").error(),
                HasSubstr("xclip failed with status 3"));
    const auto before = std::chrono::steady_clock::now();
    EXPECT_THAT(vmac::desktopClipboardFor({"wayland-0", "", bin.path().string()}, 100ms)->put("text").error(),
                HasSubstr("wl-copy did not finish within 100 ms"));
    EXPECT_LT(std::chrono::steady_clock::now() - before, 10s);
}

}  // namespace
}  // namespace lidora::testing
