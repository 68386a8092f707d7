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
void installTool(const std::filesystem::path& folder, const std::string& name, const std::string& body = {}) {
    const auto tool = folder / name;
    writeFile(tool, "#!/bin/sh\nprintf '%s\\n' \"$*\" > \"$0.args\"\ncat > \"$0.input\"\n" + body);
    ::chmod(tool.c_str(), 0755);
}

struct ToolCase {
    const char* what;
    std::string wayland;
    std::string display;
    std::vector<std::string> tools;
    std::string used;  // empty: no clipboard
    std::string putArguments;
    std::string clearArguments;
};

TEST(DesktopClipboardTest, TheSessionsOwnToolIsChosenAndGetsTheText) {
    const std::vector<ToolCase> cases = {
        {"Wayland", "wayland-0", ":0", {"wl-copy", "xclip"}, "wl-copy", "--type text/plain;charset=utf-8", "--clear"},
        {"X11",
         "",
         ":0",
         {"wl-copy", "xclip", "xsel"},
         "xclip",
         "-selection clipboard -in",
         "-selection clipboard -in"},
        {"X11 with xsel only", "", ":1", {"xsel"}, "xsel", "--clipboard --input", "--clipboard --clear"},
        {"XWayland without wl-copy",
         "wayland-0",
         ":0",
         {"xclip"},
         "xclip",
         "-selection clipboard -in",
         "-selection clipboard -in"},
        {"no desktop session", "", "", {"wl-copy", "xclip"}, "", "", ""},
        {"no tool", "wayland-0", ":0", {}, "", "", ""},
    };
    // Larger than a pipe holds, so a writer that waited for the tool to read would stall.
    const std::string text = "Logo brightness: 0.60\n" + std::string(300'000, 'x');
    for (const auto& c : cases) {
        TempDir folder;
        for (const auto& tool : c.tools) {
            installTool(folder.path(), tool);
        }
        const auto clipboard =
            vmac::desktopClipboardFor({c.wayland, c.display, "relative/bin:" + folder.path().string()}, 10s);
        ASSERT_EQ(clipboard != nullptr, !c.used.empty()) << c.what;
        if (!clipboard) {
            continue;
        }
        const auto tool = folder.path() / c.used;
        ASSERT_TRUE(clipboard->put(text)) << c.what;
        EXPECT_EQ(readFile(tool.string() + ".args"), c.putArguments + "\n") << c.what;
        EXPECT_EQ(readFile(tool.string() + ".input"), text) << c.what;
        ASSERT_TRUE(clipboard->clear()) << c.what;
        EXPECT_EQ(readFile(tool.string() + ".args"), c.clearArguments + "\n") << c.what;
        EXPECT_EQ(readFile(tool.string() + ".input"), "") << c.what;
    }
}

TEST(DesktopClipboardTest, AFailingOrHungToolIsReportedAndNeverWaitedForPastTheLimit) {
    TempDir folder;
    installTool(folder.path(), "xclip", "exit 3\n");
    const auto failing = vmac::desktopClipboardFor({"", ":0", folder.path().string()}, 10s);
    ASSERT_TRUE(failing);
    const auto failed = failing->put("text");
    ASSERT_FALSE(failed);
    EXPECT_THAT(failed.error(), HasSubstr("xclip failed with status 3"));

    TempDir hung;
    installTool(hung.path(), "wl-copy", "exec sleep 60\n");
    const auto stuck = vmac::desktopClipboardFor({"wayland-0", "", hung.path().string()}, 100ms);
    ASSERT_TRUE(stuck);
    const auto before = std::chrono::steady_clock::now();
    const auto timedOut = stuck->put("text");
    ASSERT_FALSE(timedOut);
    EXPECT_THAT(timedOut.error(), HasSubstr("did not finish within 100 ms"));
    EXPECT_LT(std::chrono::steady_clock::now() - before, 10s);
}

}  // namespace
}  // namespace lidora::testing
