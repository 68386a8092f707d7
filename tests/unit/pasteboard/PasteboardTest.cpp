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
    explicit RecordingClipboard(std::vector<std::string>& calls, bool works = true) : calls_(calls), works_(works) {}
    Expected<void, std::string> put(const std::string& text) override { return record("put " + text); }
    Expected<void, std::string> clear() override { return record("clear"); }

private:
    Expected<void, std::string> record(std::string call) {
        calls_.push_back(std::move(call));
        if (!works_) {
            return unexpected(std::string("no clipboard owner"));
        }
        return {};
    }
    std::vector<std::string>& calls_;
    bool works_;
};

class PasteboardTest : public ::testing::Test {
protected:
    TempDir root;
    std::filesystem::path home = root.path() / "Users" / "me";
};

TEST_F(PasteboardTest, TextPutByOneInstanceIsReadByAnotherLater) {
    {
        VirtualPasteboard writer(home);
        EXPECT_EQ(writer.string(), std::nullopt);
        writer.clearContents();
        ASSERT_TRUE(writer.setString("Lidora 1.0.3\nLogo brightness: 0.60 \u2014 \u00e9"));
    }
    const VirtualPasteboard reader(home);
    EXPECT_EQ(reader.string(), "Lidora 1.0.3\nLogo brightness: 0.60 \u2014 \u00e9");
    struct stat info {};
    ASSERT_EQ(::stat(reader.file().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600U) << "another user's process may not read it";

    const VirtualPasteboard otherUser(root.path() / "Users" / "you");
    EXPECT_EQ(otherUser.string(), std::nullopt);
}

// Two instances play two processes; each step is one call and what it answers.
struct Step {
    char who;  // 'a' or 'b'
    enum { clear, set } call;
    std::string text;
    bool succeeds = true;
};

struct OwnershipCase {
    const char* what;
    std::vector<Step> steps;
    std::optional<std::string> left;
};

TEST_F(PasteboardTest, OnlyTheLastToClearMayPutTextOnIt) {
    const std::string notUtf8("caf\xe9", 4);
    const std::vector<OwnershipCase> cases = {
        {"a set without a clear first fails", {{'a', Step::set, "x", false}}, std::nullopt},
        {"several sets after one clear replace each other",
         {{'a', Step::clear, ""}, {'a', Step::set, "x"}, {'a', Step::set, "y"}},
         "y"},
        {"a clear by another process takes the ownership away",
         {{'a', Step::clear, ""}, {'b', Step::clear, ""}, {'a', Step::set, "late", false}, {'b', Step::set, "b"}},
         "b"},
        {"a clear empties what another put on",
         {{'a', Step::clear, ""}, {'a', Step::set, "x"}, {'b', Step::clear, ""}},
         std::nullopt},
        {"once lost, the ownership stays lost",
         {{'a', Step::clear, ""}, {'b', Step::clear, ""}, {'a', Step::set, "1", false}, {'a', Step::set, "2", false}},
         std::nullopt},
        {"text that is not UTF-8 is refused and the text before stays",
         {{'a', Step::clear, ""}, {'a', Step::set, "kept"}, {'a', Step::set, notUtf8, false}},
         "kept"},
    };
    for (const auto& c : cases) {
        TempDir fresh;
        VirtualPasteboard a(fresh.path());
        VirtualPasteboard b(fresh.path());
        for (const auto& step : c.steps) {
            auto& instance = step.who == 'a' ? a : b;
            if (step.call == Step::clear) {
                instance.clearContents();
            } else {
                EXPECT_EQ(instance.setString(step.text), step.succeeds) << c.what << ": set " << step.text;
                EXPECT_EQ(instance.lastProblem().empty(), step.succeeds) << c.what;
            }
        }
        EXPECT_EQ(VirtualPasteboard(fresh.path()).string(), c.left) << c.what;
    }
}

TEST_F(PasteboardTest, ConcurrentWritersLoseNoClearAndTheLastToClearWinsWhole) {
    constexpr int kWriters = 4;
    constexpr int kRounds = 25;
    std::vector<std::set<std::string>> accepted(kWriters);
    std::atomic<bool> writing{true};
    std::atomic<int> tornReads{0};
    std::thread reader([&] {
        const VirtualPasteboard pasteboard(home);
        while (writing) {
            const auto contents = pasteboard.read();
            const auto text = contents ? contents->text : std::nullopt;
            if (!contents || (text && text->rfind("writer ", 0) != 0)) {
                ++tornReads;
            }
        }
    });
    std::vector<std::thread> writers;
    for (int w = 0; w < kWriters; ++w) {
        writers.emplace_back([&, w] {
            VirtualPasteboard pasteboard(home);
            for (int round = 0; round < kRounds; ++round) {
                const auto text = "writer " + std::to_string(w) + " round " + std::to_string(round);
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
    writing = false;
    reader.join();

    const auto contents = VirtualPasteboard(home).read();
    ASSERT_TRUE(contents);
    EXPECT_EQ(contents->changeCount, static_cast<std::uint64_t>(kWriters * kRounds)) << "a clear was lost";
    ASSERT_TRUE(contents->text) << "whoever cleared last cannot have been refused";
    const int writer = contents->text->at(7) - '0';
    ASSERT_GE(writer, 0);
    ASSERT_LT(writer, kWriters);
    EXPECT_TRUE(accepted[writer].count(*contents->text)) << *contents->text << " was refused, yet it is on";
    EXPECT_EQ(tornReads, 0);
}

TEST_F(PasteboardTest, ADamagedFileReadsAsEmptyAndIsKeptAsideBeforeItIsReplaced) {
    VirtualPasteboard pasteboard(home);
    std::filesystem::create_directories(pasteboard.file().parent_path());
    for (const char* damage : {"{\"changeCount\": 3, \"public.utf8-plain-text\": 7}", "[1, 2]", "{\"changeCount\": -1}",
                               "{\"changeCount\": 3, \"public.utf8"}) {
        writeFile(pasteboard.file(), damage);
        EXPECT_EQ(pasteboard.string(), std::nullopt) << damage;
        pasteboard.clearContents();
        ASSERT_TRUE(pasteboard.setString("fresh")) << damage << ": " << pasteboard.lastProblem();
        EXPECT_EQ(pasteboard.string(), "fresh");
    }
    int keptAside = 0;
    for (const auto& entry : std::filesystem::directory_iterator(pasteboard.file().parent_path())) {
        keptAside += entry.path().filename().string().find(".corrupt-") != std::string::npos ? 1 : 0;
    }
    EXPECT_GE(keptAside, 1);
}

TEST_F(PasteboardTest, AnUnwritablePasteboardFailsTheSetInsteadOfPretending) {
    // A folder where the file should be: nothing can replace it.
    VirtualPasteboard pasteboard(home);
    std::filesystem::create_directories(pasteboard.file());
    pasteboard.clearContents();
    EXPECT_THAT(pasteboard.lastProblem(), HasSubstr("could not be cleared"));
    EXPECT_FALSE(pasteboard.setString("lost"));
    EXPECT_EQ(pasteboard.string(), std::nullopt);
}

TEST_F(PasteboardTest, TheDesktopClipboardFollowsButTheMacKeepsItsOwnText) {
    std::vector<std::string> calls;
    VirtualPasteboard pasteboard(home, std::make_unique<RecordingClipboard>(calls));
    VirtualPasteboard other(home, std::make_unique<RecordingClipboard>(calls));
    pasteboard.clearContents();
    ASSERT_TRUE(pasteboard.setString("diagnostics"));
    other.clearContents();
    EXPECT_FALSE(pasteboard.setString("too late"));
    EXPECT_EQ(calls, (std::vector<std::string>{"clear", "put diagnostics", "clear"})) << "a refused set stays off it";

    std::vector<std::string> broken;
    VirtualPasteboard unlucky(home, std::make_unique<RecordingClipboard>(broken, false));
    unlucky.clearContents();
    EXPECT_TRUE(unlucky.setString("still on the Mac")) << "the desktop is a courtesy";
    EXPECT_THAT(unlucky.lastProblem(), HasSubstr("no clipboard owner"));
    EXPECT_EQ(VirtualPasteboard(home).string(), "still on the Mac");
}

}  // namespace
}  // namespace lidora::testing
