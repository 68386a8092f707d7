#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <limits>
#include <thread>
#include <vector>

#include "platform/prefs/PreferenceStore.h"
#include "tests/support/Files.h"
#include "tests/support/TempDir.h"
#include "tests/unit/prefs/PrintValue.h"

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

namespace lidora::vmac {
namespace {

const PreferenceDictionary kSentinel{{"sentinel", 1}};

using testing::readFile;
using testing::writeFile;

std::vector<std::string> filesIn(const std::filesystem::path& directory) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(directory)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

class PreferenceDomainTest : public ::testing::Test {
protected:
    PreferenceDomain open(const std::string& name = "com.example.app") {
        auto domain = PreferenceDomain::open(PreferencesDirectory(folder()), name,
                                             [this](const std::string& warning) { warnings.push_back(warning); });
        EXPECT_TRUE(domain) << name;
        return std::move(domain).value();
    }
    [[nodiscard]] std::filesystem::path folder() const { return temp.path() / "Library" / "Preferences"; }

    testing::TempDir temp;
    std::vector<std::string> warnings;
};

TEST_F(PreferenceDomainTest, EveryTypeReadsBackAsWritten) {
    auto domain = open();
    const PreferenceDictionary values{
        {"bool", true},
        {"int", std::int64_t{-9007199254740993}},
        {"wholeDouble", 1.0},
        {"tiny", std::numeric_limits<double>::denorm_min()},
        {"string", "caf\xC3\xA9 \"quoted\"\n"},
        {"table", PreferenceArray{PreferenceArray{0.0, 0.5}, PreferenceArray{1, 500}}},
        {"dict", PreferenceDictionary{{"nested", PreferenceDictionary{{"deep", false}}}}},
    };
    for (const auto& [key, value] : values) {
        ASSERT_TRUE(domain.set(key, value)) << key;
    }
    // A second handle reads the file afresh, as another process would.
    EXPECT_EQ(open().load().value_or(kSentinel), values);
    EXPECT_TRUE(open().get("wholeDouble")->isDouble());
    EXPECT_TRUE(open().get("table")->asArray()->at(1).asArray()->at(0).isInteger());
    EXPECT_TRUE(warnings.empty());
}

TEST_F(PreferenceDomainTest, ReadsSeeOtherWritersAndNothingIsCreatedUntilAWrite) {
    auto reader = open();
    auto writer = open();
    EXPECT_EQ(reader.remove("missing").value_or(true), false);
    EXPECT_EQ(reader.erase().value_or(true), false);
    EXPECT_FALSE(std::filesystem::exists(folder()));
    const auto wrote = reader.update([](PreferenceDictionary&) -> Expected<bool, std::string> { return false; });
    EXPECT_EQ(wrote.value_or(true), false);
    EXPECT_FALSE(reader.exists());

    ASSERT_TRUE(writer.set("volume", 3));
    EXPECT_EQ(reader.get("volume"), PreferenceValue(3));
    EXPECT_EQ(reader.remove("volume").value_or(false), true);
    EXPECT_EQ(writer.remove("volume").value_or(true), false);
    EXPECT_FALSE(writer.get("volume"));
    EXPECT_TRUE(reader.exists());  // an emptied domain stays, as on macOS
}

TEST_F(PreferenceDomainTest, FailedChangesLeaveTheFileAsItWas) {
    auto domain = open();
    ASSERT_TRUE(domain.set("kept", "yes"));
    const std::string before = readFile(domain.file());

    const auto refused = domain.update([](PreferenceDictionary& values) -> Expected<bool, std::string> {
        values.clear();
        return unexpected(std::string("no thanks"));
    });
    EXPECT_EQ(refused.error(), "no thanks");
    EXPECT_THAT(domain.set("x", std::nan("")).error(), HasSubstr("not finite"));
    EXPECT_THAT(domain.set("x", "\xFF\xFE").error(), HasSubstr("UTF-8"));
    PreferenceValue deep = 1;
    for (int i = 0; i < 65; ++i) {
        deep = PreferenceArray{deep};
    }
    EXPECT_FALSE(domain.set("x", deep));

    EXPECT_EQ(readFile(domain.file()), before);
    EXPECT_THAT(filesIn(folder()), ElementsAre("com.example.app.json", "com.example.app.json.lock"));
}

TEST_F(PreferenceDomainTest, CorruptFileReadsEmptyAndIsKeptAsideBeforeTheFirstWrite) {
    std::filesystem::create_directories(folder());
    auto domain = open();
    writeFile(domain.file(), "{ not json");
    EXPECT_EQ(domain.load().value_or(kSentinel), PreferenceDictionary{});
    EXPECT_FALSE(domain.get("anything"));
    ASSERT_EQ(warnings.size(), 1U) << "each bad version of the file is reported once";
    EXPECT_THAT(warnings[0], HasSubstr("is not a preferences domain (it is not JSON)"));

    // Removing a key that is not there writes nothing, so the file stays.
    EXPECT_EQ(domain.remove("anything").value_or(true), false);
    EXPECT_EQ(readFile(domain.file()), "{ not json");

    ASSERT_TRUE(domain.set("fresh", 1));
    EXPECT_EQ(domain.load().value_or(kSentinel), (PreferenceDictionary{{"fresh", 1}}));
    ASSERT_EQ(warnings.size(), 2U);
    EXPECT_THAT(warnings[1], StartsWith("kept " + domain.file().string() + " aside as "));
    const auto names = filesIn(folder());  // the file, the one kept aside, the lock
    ASSERT_EQ(names.size(), 3U);
    EXPECT_THAT(names[1], StartsWith("com.example.app.json.corrupt-"));
    EXPECT_EQ(readFile(folder() / names[1]), "{ not json");
}

TEST_F(PreferenceDomainTest, ForeignOrHostileJsonIsNotADomainEither) {
    std::filesystem::create_directories(folder());
    auto domain = open();
    // Deep nesting from another writer must not exhaust the stack.
    const std::string foreign[] = {"[1, 2]", "{\"a\": null}", "{\"a\": 18446744073709551615}", "",
                                   "{\"a\": " + std::string(100'000, '[') + std::string(100'000, ']') + "}"};
    for (const auto& text : foreign) {
        writeFile(domain.file(), text);
        EXPECT_EQ(domain.load().value_or(kSentinel), PreferenceDictionary{}) << text.substr(0, 20);
    }
    EXPECT_EQ(warnings.size(), std::size(foreign));
}

TEST_F(PreferenceDomainTest, SomethingElseInPlaceOfTheFileOrFolderIsAnErrorAndStays) {
    auto domain = open();
    std::filesystem::create_directories(domain.file());
    EXPECT_THAT(domain.load().error(), HasSubstr("is not a regular file"));
    EXPECT_FALSE(domain.set("a", 1));
    EXPECT_TRUE(std::filesystem::is_directory(domain.file()));

    std::filesystem::remove_all(temp.path() / "Library");
    writeFile(temp.path() / "Library", "in the way");
    EXPECT_THAT(open().set("a", 1).error(), HasSubstr("cannot create folder"));
    EXPECT_EQ(readFile(temp.path() / "Library"), "in the way");
}

TEST_F(PreferenceDomainTest, KilledWritersLeftoverIsReusedAndFilesAreReadableWhateverTheUmask) {
    std::filesystem::create_directories(folder());
    auto domain = open();
    writeFile(folder() / "com.example.app.json.tmp", "half a wri");
    const mode_t previous = ::umask(077);
    const bool written = domain.set("a", 1).has_value();
    ::umask(previous);
    ASSERT_TRUE(written);
    EXPECT_THAT(filesIn(folder()), ElementsAre("com.example.app.json", "com.example.app.json.lock"));
    EXPECT_EQ(std::filesystem::status(domain.file()).permissions(), std::filesystem::perms(0644));
}

TEST_F(PreferenceDomainTest, ConcurrentWritersOfDifferentKeysLoseNothing) {
    constexpr int kWriters = 4;
    constexpr int kKeys = 25;
    std::vector<std::thread> writers;
    for (int w = 0; w < kWriters; ++w) {
        writers.emplace_back([this, w] {
            auto domain = open();
            for (int k = 0; k < kKeys; ++k) {
                EXPECT_TRUE(domain.set("w" + std::to_string(w) + "k" + std::to_string(k), k));
            }
        });
    }
    for (auto& writer : writers) {
        writer.join();
    }
    EXPECT_EQ(open().load().value_or(kSentinel).size(), static_cast<std::size_t>(kWriters * kKeys));
}

TEST(DomainNames, UnsafeNamesAreRefused) {
    for (const auto& name : {std::string(".."), std::string(".hidden"), std::string("../up"), std::string("nul\0x", 5),
                             std::string("tab\tname"), std::string(201, 'a')}) {
        EXPECT_FALSE(validateDomainName(name)) << name;
    }
    for (const auto& name :
         {std::string("com.apple.CoreBrightness"), std::string("caf\xC3\xA9 x"), std::string(200, 'a')}) {
        EXPECT_TRUE(validateDomainName(name)) << name;
    }
    EXPECT_FALSE(PreferenceDomain::open(PreferencesDirectory("/tmp"), "../etc/passwd"));
}

TEST_F(PreferenceDomainTest, ListingShowsOnlyDomains) {
    ASSERT_TRUE(open("b.second").set("a", 1));
    ASSERT_TRUE(open("a.first").set("a", 1));
    writeFile(folder() / "b.second.json.corrupt-1", "");
    writeFile(folder() / ".hidden.json", "{}");
    writeFile(folder() / "notes.txt", "");
    std::filesystem::create_directories(folder() / "folder.json");
    EXPECT_THAT(listDomains(folder()).value_or(std::vector<std::string>{}), ElementsAre("a.first", "b.second"));
    EXPECT_TRUE(listDomains(temp.path() / "missing").value_or(std::vector<std::string>{"x"}).empty());
}

TEST(PreferencesDirectoryCreate, MakesTheSharedParentWritableForEveryone) {
    testing::TempDir temp;
    const PreferencesDirectory directory(temp.path() / "Users" / "someone" / "Library" / "Preferences",
                                         temp.path() / "Users");
    ASSERT_TRUE(directory.create());
    EXPECT_TRUE(std::filesystem::is_directory(directory.path()));
    EXPECT_EQ(std::filesystem::status(temp.path() / "Users").permissions() & std::filesystem::perms::mask,
              std::filesystem::perms(01777));
}

}  // namespace
}  // namespace lidora::vmac
