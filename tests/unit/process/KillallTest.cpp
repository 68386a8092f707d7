#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/process/Killall.h"
#include "tests/unit/process/FakeProcessTable.h"

using ::testing::HasSubstr;
using ::testing::StartsWith;

namespace lidora::vmac {
namespace {

using testing::kOtherRoot;
using testing::kOurRoot;
using testing::record;
using Signals = std::vector<std::pair<pid_t, int>>;

constexpr pid_t kSelf = 40;

testing::FakeProcessTable twoMacsAndTheHost() {
    testing::FakeProcessTable table;
    table.add(record(10, 5, "corebrightnessd", kOurRoot));
    table.add(record(11, 5, "com.zelquin.lidora.helper", kOurRoot));
    table.add(record(12, 1, "Lidora", kOurRoot, 501));
    table.add(record(13, 12, "defaults", std::nullopt, 501));  // its environment cleared
    auto zombie = record(14, 5, "corebrightnessd", kOurRoot);
    zombie.zombie = true;
    table.add(zombie);
    table.add(record(15, 1, "Stubborn", kOurRoot, 502), testing::Reaction::Refuses);
    table.add(record(20, 1, "corebrightnessd", kOtherRoot));
    table.add(record(21, 1, "Lidora", kOtherRoot, 501));
    table.add(record(30, 1, "corebrightnessd", std::nullopt));  // the host's
    table.add(record(kSelf, 1, "killall", kOurRoot));
    return table;
}

struct Case {
    std::vector<std::string> arguments;
    uid_t user;
    int status;
    Signals signalled;
    std::string out;
    std::string err;
};

TEST(Killall, SignalsOnlyMatchingProcessesOfItsOwnMac) {
    const std::string noneOfYours = "No matching processes belonging to you were found\n";
    const Case cases[] = {
        {{"corebrightnessd"}, 0, 0, {{10, SIGTERM}}, "", ""},
        {{"-9", "corebrightnessd"}, 0, 0, {{10, SIGKILL}}, "", ""},
        {{"-KILL", "corebrightnessd"}, 0, 0, {{10, SIGKILL}}, "", ""},
        {{"-SIGHUP", "corebrightnessd"}, 0, 0, {{10, SIGHUP}}, "", ""},
        {{"-kill", "corebrightnessd"}, 0, 0, {{10, SIGKILL}}, "", ""},
        {{"corebrightnessd", "Lidora"}, 0, 0, {{10, SIGTERM}, {12, SIGTERM}}, "", ""},
        // Names count to 16 bytes, as macOS keeps them.
        {{"com.zelquin.lidora.helper-of-another-name"}, 0, 0, {{11, SIGTERM}}, "", ""},
        {{"corebrightness"}, 0, 1, {}, "", "No matching processes were found\n"},
        {{"defaults"}, 0, 0, {{13, SIGTERM}}, "", ""},
        {{"-z", "corebrightnessd"}, 0, 0, {{10, SIGTERM}, {14, SIGTERM}}, "", ""},
        {{"-m", "^c.*d$"}, 0, 0, {{10, SIGTERM}}, "", ""},
        {{"-c", "Lidora"}, 0, 0, {{12, SIGTERM}}, "", ""},
        {{"-u", "501"}, 0, 0, {{12, SIGTERM}, {13, SIGTERM}}, "", ""},
        {{"-s", "corebrightnessd"}, 0, 0, {}, "kill -TERM 10\n", ""},
        {{"-v", "-INT", "Lidora"}, 0, 0, {{12, SIGINT}}, "kill -INT 12\n", ""},
        {{"killall"}, 0, 1, {}, "", "No matching processes were found\n"},
        {{"-q", "nothing"}, 0, 1, {}, "", ""},
        // Only root reaches other users' processes.
        {{"Lidora"}, 501, 0, {{12, SIGTERM}}, "", ""},
        {{"corebrightnessd"}, 501, 1, {}, "", noneOfYours},
        {{"-u", "root", "corebrightnessd"}, 501, 0, {{10, SIGTERM}}, "", ""},
        {{"Stubborn"}, 0, 1, {}, "", "killall: warning: kill -TERM 15: Operation not permitted\n"},
    };
    for (const auto& c : cases) {
        auto table = twoMacsAndTheHost();
        const auto result = runKillall(c.arguments, {kOurRoot, kSelf, c.user}, table);
        const auto shown = ::testing::PrintToString(c.arguments) + " as " + std::to_string(c.user);
        EXPECT_EQ(result.status, c.status) << shown;
        EXPECT_EQ(table.sent, c.signalled) << shown;
        EXPECT_EQ(result.out, c.out) << shown;
        EXPECT_EQ(result.err, c.err) << shown;
    }
}

TEST(Killall, RefusesBadArgumentsWithMacOSMessages) {
    const std::string usage =
        "usage: killall [-lmsvqz] [-help] [-u user] [-c cmd] [-SIGNAL] [cmd]...\n"
        "At least one option or argument to specify processes must be given.\n";
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{}, usage},
        {{"-help"}, usage},
        {{"-9"}, usage},
        {{"-u"}, usage},
        {{"-FOO", "x"}, "killall: unknown signal FOO; valid signals:\nHUP INT QUIT "},
        {{"-99", "x"}, "killall: unknown signal 99; valid signals:\n"},
        {{"-9x", "x"}, "killall: illegal signal number: 9x\n"},
        {{"-u", "no-such-user-here", "x"}, "killall: user no-such-user-here does not exist\n"},
        {{"-m", "(", "x"}, "killall: (: "},
    };
    for (const auto& [arguments, message] : cases) {
        auto table = twoMacsAndTheHost();
        const auto result = runKillall(arguments, {kOurRoot, kSelf, 0}, table);
        EXPECT_EQ(result.status, 1) << ::testing::PrintToString(arguments);
        EXPECT_THAT(result.err, StartsWith(message)) << ::testing::PrintToString(arguments);
        EXPECT_TRUE(table.sent.empty());
    }

    auto table = twoMacsAndTheHost();
    const auto listed = runKillall({"-l"}, {kOurRoot, kSelf, 0}, table);
    EXPECT_EQ(listed.status, 0);
    EXPECT_THAT(listed.out, StartsWith("HUP INT QUIT ILL TRAP ABRT BUS FPE KILL "));
    EXPECT_THAT(listed.out, HasSubstr(" TERM "));
}

}  // namespace
}  // namespace lidora::vmac
