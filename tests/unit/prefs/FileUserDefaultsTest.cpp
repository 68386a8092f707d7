#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <optional>

#include "core/runtime/VirtualRunLoop.h"
#include "platform/prefs/FileUserDefaults.h"
#include "tests/support/TempDir.h"
#include "tests/unit/prefs/PrintValue.h"

using ::testing::HasSubstr;

namespace lidora::vmac {
namespace {

constexpr const char* kBundle = "com.zelquin.lidora";

class FileUserDefaultsTest : public ::testing::Test {
protected:
    [[nodiscard]] PreferencesDirectory directory() const {
        return PreferencesDirectory(temp.path() / "Library" / "Preferences");
    }
    testing::TempDir temp;
    FileUserDefaults defaults{directory(), kBundle};
};

TEST_F(FileUserDefaultsTest, StandardIsTheBundleDomainAndSeesOtherWriters) {
    auto standard = defaults.standard();
    ASSERT_TRUE(standard->set("brightness", 0.75));
    EXPECT_TRUE(std::filesystem::exists(temp.path() / "Library" / "Preferences" / "com.zelquin.lidora.json"));

    FileUserDefaults other(directory(), kBundle);
    EXPECT_EQ(other.standard()->number("brightness"), 0.75);
    ASSERT_TRUE(other.standard()->set("brightness", 0.25));
    EXPECT_EQ(standard->number("brightness"), 0.25);
    ASSERT_TRUE(other.standard()->remove("brightness"));
    EXPECT_FALSE(standard->object("brightness"));
    EXPECT_EQ(defaults.standard(), standard);
}

// Reads are served from memory; every way the file can change must still
// show at the very next read.
TEST_F(FileUserDefaultsTest, ReadsFromMemoryNeverMissAFinishedChange) {
    auto standard = defaults.standard();
    EXPECT_FALSE(standard->object("level"));  // the folder does not exist yet
    auto domain = *PreferenceDomain::open(directory(), kBundle);
    const auto file = directory().path() / "com.zelquin.lidora.json";
    const auto replaceFolder = [&] {
        std::filesystem::rename(directory().path(), temp.path() / "old");
        std::filesystem::create_directories(directory().path());
        std::ofstream(file) << R"({"level": 6})";
    };
    const std::vector<std::pair<std::function<void()>, std::optional<PreferenceValue>>> changes{
        {[&] { ASSERT_TRUE(domain.set("level", 1)); }, PreferenceValue(1)},
        {[&] { ASSERT_TRUE(domain.set("level", 2)); }, PreferenceValue(2)},
        {[&] { std::ofstream(file) << R"({"level": 3})"; }, PreferenceValue(3)},  // written in place
        {[&] { ASSERT_TRUE(domain.erase()); }, std::nullopt},
        {[&] { ASSERT_TRUE(domain.set("level", 5)); }, PreferenceValue(5)},
        {replaceFolder, PreferenceValue(6)},
        {[&] { ASSERT_TRUE(domain.set("level", 7)); }, PreferenceValue(7)},
    };
    for (std::size_t i = 0; i < changes.size(); ++i) {
        changes[i].first();
        EXPECT_EQ(standard->object("level"), changes[i].second) << "change " << i;
        EXPECT_EQ(standard->object("level"), changes[i].second) << "change " << i << ", read again";
    }
}

TEST_F(FileUserDefaultsTest, SuitesOpenOnlyUnderAUsableDistinctName) {
    auto suite = defaults.suite("group.com.zelquin.shared");
    ASSERT_TRUE(suite);
    ASSERT_TRUE(suite->set("enabled", true));
    EXPECT_EQ(defaults.suite("group.com.zelquin.shared")->boolean("enabled"), true);
    EXPECT_FALSE(defaults.standard()->object("enabled"));

    EXPECT_FALSE(defaults.suite(kBundle)) << "macOS refuses a suite named after the app itself";
    EXPECT_FALSE(defaults.suite("../escape"));
    EXPECT_EQ(suiteOrStandard(defaults, kBundle), defaults.standard());

    std::ofstream(temp.path() / "blocked") << "a file, not a folder";
    FileUserDefaults blocked(PreferencesDirectory(temp.path() / "blocked" / "Preferences"), kBundle);
    EXPECT_FALSE(blocked.suite("group.com.zelquin.shared"));
}

TEST_F(FileUserDefaultsTest, InvalidBundleIdentifierStillGivesStandardDefaultsThatRefuseWrites) {
    FileUserDefaults invalid(directory(), "../bad");
    ASSERT_TRUE(invalid.standard());
    EXPECT_FALSE(invalid.standard()->object("anything"));
    const auto written = invalid.standard()->set("a", 1);
    ASSERT_FALSE(written);
    EXPECT_THAT(written.error(), HasSubstr("starts with '.'"));
}

TEST_F(FileUserDefaultsTest, ObserversHearEverySuccessfulChangeAndMayUnsubscribeWhileNotified) {
    int changes = 0;
    int second = 0;
    std::optional<Subscription> secondSubscription;
    std::optional<Subscription> first = defaults.observeChanges([&] {
        ++changes;
        secondSubscription.reset();  // one not yet called
    });
    secondSubscription = defaults.observeChanges([&] { ++second; });
    auto suite = defaults.suite("group.shared");
    ASSERT_TRUE(defaults.standard()->set("a", 1));
    ASSERT_TRUE(suite->set("b", 2));
    ASSERT_TRUE(suite->remove("b"));
    EXPECT_EQ(changes, 3);
    EXPECT_EQ(second, 0);

    ASSERT_FALSE(suite->set("c", "\xFF"));
    EXPECT_EQ(changes, 3) << "a failed write changes nothing";

    int selfCalls = 0;
    std::optional<Subscription> self;
    self = defaults.observeChanges([&] {
        ++selfCalls;
        self.reset();
    });
    first.reset();
    ASSERT_TRUE(defaults.standard()->set("a", 2));
    ASSERT_TRUE(defaults.standard()->set("a", 3));
    EXPECT_EQ(changes, 3);
    EXPECT_EQ(selfCalls, 1);
}

// Followers hear through the same watch that keeps reads fresh; a read
// drains it here, as the loop would when the watch turns readable.
TEST_F(FileUserDefaultsTest, FollowersHearOtherWritersOfTheirDomainOnly) {
    VirtualRunLoop loop;
    int heard = 0;
    auto observing = defaults.observeChanges([&] { ++heard; });
    auto following = defaults.followWritesOf(loop, kBundle);
    ASSERT_TRUE(following) << following.error();
    FileUserDefaults other(directory(), kBundle);
    struct Write {
        const char* what;
        std::function<void()> write;
        int calls;
    };
    const std::vector<Write> writes{
        {"the folder appears with the first write", [&] { ASSERT_TRUE(other.standard()->set("a", 1)); }, 1},
        {"another writer changes the domain", [&] { ASSERT_TRUE(other.standard()->set("a", 2)); }, 1},
        {"another domain changes", [&] { ASSERT_TRUE(other.suite("group.shared")->set("b", 1)); }, 0},
        {"the domain is removed",
         [&] { ASSERT_TRUE(std::filesystem::remove(directory().path() / (std::string(kBundle) + ".json"))); }, 1},
    };
    for (const auto& each : writes) {
        heard = 0;
        each.write();
        (void)defaults.standard()->object("x");
        loop.runUntilIdle();
        EXPECT_EQ(heard, each.calls) << each.what;
    }
    following->cancel();
    ASSERT_TRUE(other.standard()->set("a", 3));
    heard = 0;
    (void)defaults.standard()->object("a");
    loop.runUntilIdle();
    EXPECT_EQ(heard, 0) << "cancelled";
}

TEST_F(FileUserDefaultsTest, HandlesMayOutliveTheProvider) {
    std::shared_ptr<UserDefaults> suite;
    Subscription subscription;
    {
        FileUserDefaults shortLived(directory(), kBundle);
        suite = shortLived.suite("group.shared");
        subscription = shortLived.observeChanges([] { FAIL() << "the provider is gone"; });
    }
    EXPECT_TRUE(suite->set("a", 1));
    subscription.cancel();
}

}  // namespace
}  // namespace lidora::vmac
