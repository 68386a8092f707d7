#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <set>
#include <thread>

#include "platform/pasteboard/VirtualPasteboard.h"
#include "tests/support/Files.h"
#include "tests/support/TempDir.h"

namespace lidora::testing {
namespace {

using ::testing::HasSubstr;
using vmac::VirtualPasteboard;

class RecordingClipboard final : public vmac::DesktopClipboard {
public:
    RecordingClipboard(std::vector<std::string>& calls, bool works) : calls_(calls), works_(works) {}
    Expected<void, std::string> put(const std::string& text) override { return record("put " + text); }
    Expected<void, std::string> clear() override { return record("clear"); }

private:
    Expected<void, std::string> record(std::string call) {
        calls_.push_back(std::move(call));
        return works_ ? Expected<void, std::string>() : unexpected(std::string("no clipboard owner"));
    }
    std::vector<std::string>& calls_;
    bool works_;
};

TEST(PasteboardTest, TextPutByOneInstanceIsReadByAnotherOfTheSameUserOnly) {
    TempDir root;
    const auto home = root.path() / "Users" / "me";
    {
        VirtualPasteboard writer(home);
        writer.clearContents();
        ASSERT_TRUE(writer.setString("Lidora 1.0.3\nLogo brightness: 0.60 \u2014 \u00e9"));
    }
    const VirtualPasteboard reader(home);
    EXPECT_EQ(reader.string(), "Lidora 1.0.3\nLogo brightness: 0.60 \u2014 \u00e9");
    struct stat info {};
    ASSERT_EQ(::stat(reader.file().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600U);
    EXPECT_EQ(VirtualPasteboard(root.path() / "Users" / "you").string(), std::nullopt);
}

// Two instances play two processes: 'A'/'B' clear, 'a'/'b' set the text and
// expect `succeeds`.
struct Step {
    char call;
    std::string text;
    bool succeeds = true;
};

TEST(PasteboardTest, OnlyTheLastToClearMayPutTextOnIt) {
    const struct {
        const char* what;
        std::vector<Step> steps;
        std::optional<std::string> left;
    } cases[] = {
        {"a set without a clear first fails", {{'a', "x", false}}, std::nullopt},
        {"several sets after one clear replace each other", {{'A', ""}, {'a', "x"}, {'a', "y"}}, "y"},
        {"a clear by another takes the ownership away", {{'A', ""}, {'B', ""}, {'a', "late", false}, {'b', "b"}}, "b"},
        {"a clear empties what another put on", {{'A', ""}, {'a', "x"}, {'B', ""}}, std::nullopt},
        {"lost ownership stays lost", {{'A', ""}, {'B', ""}, {'a', "1", false}, {'a', "2", false}}, std::nullopt},
        {"text that is not UTF-8 is refused, the text before stays",
         {{'A', ""}, {'a', "kept"}, {'a', std::string("caf\xe9", 4), false}},
         "kept"},
    };
    for (const auto& c : cases) {
        TempDir home;
        VirtualPasteboard a(home.path());
        VirtualPasteboard b(home.path());
        for (const auto& step : c.steps) {
            auto& instance = std::tolower(step.call) == 'a' ? a : b;
            if (std::isupper(step.call)) {
                instance.clearContents();
                continue;
            }
            EXPECT_EQ(instance.setString(step.text), step.succeeds) << c.what << ": " << step.text;
            EXPECT_EQ(instance.lastProblem().empty(), step.succeeds) << c.what;
        }
        EXPECT_EQ(VirtualPasteboard(home.path()).string(), c.left) << c.what;
    }
}

TEST(PasteboardTest, ConcurrentWritersLoseNoClearAndTheLastToClearWinsWhole) {
    constexpr int kWriters = 4;
    constexpr int kRounds = 25;
    TempDir home;
    std::vector<std::set<std::string>> accepted(kWriters);
    std::vector<std::thread> writers;
    for (int w = 0; w < kWriters; ++w) {
        writers.emplace_back([&, w] {
            VirtualPasteboard pasteboard(home.path());
            for (int round = 0; round < kRounds; ++round) {
                const auto text = std::to_string(w) + " writes round " + std::to_string(round);
                pasteboard.clearContents();
                if (pasteboard.setString(text)) {
                    accepted[w].insert(text);
                }
            }
        });
    }
    for (auto& writer : writers) {
        writer.join();
    }
    const auto contents = VirtualPasteboard(home.path()).read();
    ASSERT_TRUE(contents);
    EXPECT_EQ(contents->changeCount, static_cast<std::uint64_t>(kWriters * kRounds)) << "a clear was lost";
    ASSERT_TRUE(contents->text) << "whoever cleared last cannot have been refused";
    EXPECT_TRUE(accepted.at(contents->text->front() - '0').count(*contents->text)) << *contents->text;
}

TEST(PasteboardTest, ABadFileReadsAsEmptyAndNeverLetsASetPassForDone) {
    for (const char* damage : {"{\"changeCount\": 3, \"public.utf8-plain-text\": 7}", "[1, 2]", "{\"changeCount\": -1}",
                               "{\"changeCount\": 3, \"public.utf8"}) {
        TempDir home;
        VirtualPasteboard pasteboard(home.path());
        std::filesystem::create_directories(pasteboard.file().parent_path());
        writeFile(pasteboard.file(), damage);
        EXPECT_EQ(pasteboard.string(), std::nullopt) << damage;
        pasteboard.clearContents();
        ASSERT_TRUE(pasteboard.setString("fresh")) << damage << ": " << pasteboard.lastProblem();
        EXPECT_EQ(pasteboard.string(), "fresh");
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(pasteboard.file().parent_path()), {}), 3)
            << damage << ": the file, its lock and the damaged one kept aside";
    }
    TempDir home;
    VirtualPasteboard blocked(home.path());
    std::filesystem::create_directories(blocked.file());  // nothing can replace a folder
    blocked.clearContents();
    EXPECT_THAT(blocked.lastProblem(), HasSubstr("could not be cleared"));
    EXPECT_FALSE(blocked.setString("lost"));
}

TEST(PasteboardTest, TheDesktopClipboardFollowsButTheMacKeepsItsOwnText) {
    TempDir home;
    std::vector<std::string> calls;
    VirtualPasteboard pasteboard(home.path(), std::make_unique<RecordingClipboard>(calls, true));
    VirtualPasteboard other(home.path(), std::make_unique<RecordingClipboard>(calls, true));
    pasteboard.clearContents();
    ASSERT_TRUE(pasteboard.setString("diagnostics"));
    other.clearContents();
    EXPECT_FALSE(pasteboard.setString("too late"));
    EXPECT_EQ(calls, (std::vector<std::string>{"clear", "put diagnostics", "clear"})) << "a refused set stays off it";

    std::vector<std::string> broken;
    VirtualPasteboard unlucky(home.path(), std::make_unique<RecordingClipboard>(broken, false));
    unlucky.clearContents();
    EXPECT_TRUE(unlucky.setString("still on the Mac")) << "the desktop is a courtesy";
    EXPECT_THAT(unlucky.lastProblem(), HasSubstr("no clipboard owner"));
    EXPECT_EQ(VirtualPasteboard(home.path()).string(), "still on the Mac");
}

}  // namespace
}  // namespace lidora::testing
