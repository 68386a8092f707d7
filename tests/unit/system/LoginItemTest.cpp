#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>

#include "platform/system/AutostartEntry.h"
#include "platform/system/AutostartLoginItem.h"
#include "tests/support/TempDir.h"

namespace lidora::testing {
namespace {

using ::testing::HasSubstr;

class LoginItemTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(bundle / "Contents");
        std::ofstream(bundle / "Contents" / "Info.plist") << "<plist/>";
    }

    TempDir root;
    std::filesystem::path home = root.path() / "Users" / "me";
    std::filesystem::path bundle = root.path() / "Applications" / "My \"Best\" App.app";
    vmac::AutostartLoginItem item{home, bundle, "com.zelquin.lidora"};
};

TEST_F(LoginItemTest, RegisterWritesAnEntryThatStaysEnabledWhileTheBundleExists) {
    EXPECT_EQ(item.status(), HelperStatus::notRegistered);
    ASSERT_TRUE(item.registerItem());
    EXPECT_EQ(item.entryFile(), home / ".config" / "autostart" / "com.zelquin.lidora.desktop");
    EXPECT_EQ(item.status(), HelperStatus::enabled);
    ASSERT_TRUE(item.registerItem());  // again: still one entry

    const auto listing = vmac::listAutostartEntries(home);
    ASSERT_EQ(listing.entries.size(), 1U);
    EXPECT_EQ(listing.entries[0].bundle, bundle);
    EXPECT_EQ(listing.entries[0].name, "My \"Best\" App");

    std::filesystem::rename(bundle, root.path() / "moved.app");
    EXPECT_EQ(item.status(), HelperStatus::notRegistered);
}

TEST_F(LoginItemTest, UnregisterRemovesTheEntryAndRefusesWhenThereIsNone) {
    const auto never = item.unregisterItem();
    ASSERT_FALSE(never);
    EXPECT_THAT(never.error(), HasSubstr("not registered"));
    ASSERT_TRUE(item.registerItem());
    ASSERT_TRUE(item.unregisterItem());
    EXPECT_EQ(item.status(), HelperStatus::notRegistered);
    EXPECT_FALSE(std::filesystem::exists(item.entryFile()));
    EXPECT_FALSE(item.unregisterItem());
}

TEST_F(LoginItemTest, RegisteringAMissingBundleFailsAndWritesNothing) {
    vmac::AutostartLoginItem missing(home, root.path() / "Applications" / "Gone.app", "com.example.gone");
    const auto registered = missing.registerItem();
    ASSERT_FALSE(registered);
    EXPECT_THAT(registered.error(), HasSubstr("does not exist"));
    EXPECT_FALSE(std::filesystem::exists(home / ".config"));

    vmac::AutostartLoginItem badIdentifier(home, bundle, "../escape");
    EXPECT_FALSE(badIdentifier.registerItem());
    EXPECT_EQ(badIdentifier.status(), HelperStatus::notRegistered);
}

TEST_F(LoginItemTest, ListingSkipsDisabledEntriesAndReportsForeignOnes) {
    ASSERT_TRUE(item.registerItem());
    const auto folder = vmac::autostartDirectory(home);
    std::ofstream(folder / "a-hidden.desktop") << vmac::renderAutostartEntry({"Hidden", bundle, false});
    std::ofstream(folder / "b-gnome.desktop") << "[Desktop Entry]\nExec=gnome-thing\n";
    std::ofstream(folder / "c-off.desktop")
        << "[Desktop Entry]\nX-Vmac-Bundle=/x.app\nX-GNOME-Autostart-enabled=false\n";
    std::ofstream(folder / "d-junk.desktop") << "[Desktop Entry]\nno equals sign\n";
    std::ofstream(folder / "notes.txt") << "ignored";

    const auto listing = vmac::listAutostartEntries(home);
    ASSERT_EQ(listing.entries.size(), 1U);
    EXPECT_EQ(listing.entries[0].bundle, bundle);
    ASSERT_EQ(listing.problems.size(), 2U);
    EXPECT_THAT(listing.problems[0], HasSubstr("names no bundle"));
    EXPECT_THAT(listing.problems[1], HasSubstr("line 2"));
}

TEST(AutostartEntryTest, ValuesSurviveEscaping) {
    const vmac::AutostartEntry entry{" lead\\ing\ttab", "/Applications/A $b`c`.app", true};
    const auto parsed = vmac::parseAutostartEntry(vmac::renderAutostartEntry(entry));
    ASSERT_TRUE(parsed) << parsed.error();
    EXPECT_EQ(*parsed, entry);
    EXPECT_THAT(vmac::renderAutostartEntry(entry), HasSubstr("Exec=open \"/Applications/A \\\\$b\\\\`c\\\\`.app\""));
}

}  // namespace
}  // namespace lidora::testing
