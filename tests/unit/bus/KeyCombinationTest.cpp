#include <gtest/gtest.h>

#include "core/ports/HotKeyEvents.h"
#include "platform/bus/KeyCombination.h"

namespace lidora::vmac {
namespace {

constexpr std::uint32_t kShiftCmd = kShiftKey | kCmdKey;

TEST(KeyCombination, ReadsTheWaysPeopleWriteAShortcut) {
    const struct {
        const char* text;
        KeyCombination expected;
    } cases[] = {
        {"shift+cmd+7", {26, kShiftCmd}},
        {"cmd+shift+0", {29, kShiftCmd}},
        {"Cmd-Shift-0", {29, kShiftCmd}},
        {"⇧⌘7", {26, kShiftCmd}},
        {"⌘⇧0", {29, kShiftCmd}},
        {"⌃⌥⇧⌘A", {0, kControlKey | kOptionKey | kShiftKey | kCmdKey}},
        {"ctrl+option+space", {49, kControlKey | kOptionKey}},
        {"alt+F12", {111, kOptionKey}},
        {"command + shift + q", {12, kShiftCmd}},
        {"cmd+-", {27, kCmdKey}},
        {"return", {36, 0}},
        {"opt+Left", {123, kOptionKey}},
        {"control+/", {44, kControlKey}},
    };
    for (const auto& c : cases) {
        const auto parsed = parseKeyCombination(c.text);
        ASSERT_TRUE(parsed) << c.text << ": " << parsed.error();
        EXPECT_EQ(*parsed, c.expected) << c.text;
    }
}

TEST(KeyCombination, RefusesWhatIsNotAModifierOrAKey) {
    for (const auto* text : {"", "cmd+", "⇧⌘", "super+7", "cmd+shift+ß", "cmd+shift+bogus", "7+cmd", "cmd++"}) {
        const auto parsed = parseKeyCombination(text);
        EXPECT_FALSE(parsed) << text;
    }
    EXPECT_EQ(parseKeyCombination("super+7").error(), "'super' in 'super+7' is not a modifier");
}

TEST(KeyCombination, IsWrittenAsMenusShowItAndReadBack) {
    const struct {
        KeyCombination combination;
        const char* text;
    } cases[] = {
        {{26, kShiftCmd}, "⇧⌘7"},
        {{29, kShiftCmd}, "⇧⌘0"},
        {{0, kControlKey | kOptionKey | kShiftKey | kCmdKey}, "⌃⌥⇧⌘A"},
        {{49, kOptionKey}, "⌥Space"},
        {{200, kCmdKey}, "⌘key 200"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(describeKeyCombination(c.combination), c.text);
        if (c.combination.keyCode < 128) {
            EXPECT_EQ(parseKeyCombination(c.text).value(), c.combination) << c.text;
        }
    }
}

}  // namespace
}  // namespace lidora::vmac
