#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <deque>
#include <map>
#include <memory>

#include "core/helper/HelperService.h"
#include "tests/support/RecordingLogSink.h"

using ::testing::ElementsAre;

namespace lidora {
namespace {

// Answers each command line from a script, in order, and remembers the calls.
class ScriptedRunner final : public CommandRunning {
public:
    using Line = std::vector<std::string>;
    void expect(const Line& line, CommandResult result) { script[line].push_back(std::move(result)); }

    CommandResult run(const std::vector<std::string>& arguments) const override {
        calls.push_back(arguments);
        auto& answers = script[arguments];
        if (answers.empty()) {
            ADD_FAILURE() << "unexpected command: " << ::testing::PrintToString(arguments);
            return {1, "unexpected"};
        }
        auto result = answers.front();
        answers.pop_front();
        return result;
    }

    mutable std::map<Line, std::deque<CommandResult>> script;
    mutable std::vector<Line> calls;
};

const ScriptedRunner::Line kRead{"read", "com.apple.CoreBrightness", "LEBacklightMode"};
const ScriptedRunner::Line kOff{"write", "com.apple.CoreBrightness", "LEBacklightMode", "-int", "0"};
const ScriptedRunner::Line kOn{"delete", "com.apple.CoreBrightness", "LEBacklightMode"};
const ScriptedRunner::Line kDeleteNits{"delete", "com.apple.CoreBrightness", "LEPWMBrightnessNitsMapping"};
const ScriptedRunner::Line kDeleteLux{"delete", "com.apple.CoreBrightness", "LEPWMLuxToMinNitsRestrictionMapping"};
const ScriptedRunner::Line kReadNits{"read", "com.apple.CoreBrightness", "LEPWMBrightnessNitsMapping"};
const ScriptedRunner::Line kReadLux{"read", "com.apple.CoreBrightness", "LEPWMLuxToMinNitsRestrictionMapping"};
const ScriptedRunner::Line kKillall{"corebrightnessd"};
const std::string kMissing = "The domain/default pair of (com.apple.CoreBrightness, LEBacklightMode) does not exist\n";

class HelperServiceTest : public ::testing::Test {
protected:
    std::optional<std::string> switchLight(bool on) {
        std::optional<std::optional<std::string>> answer;
        service.setLightOn(on, [&](std::optional<std::string> error) { answer = std::move(error); });
        EXPECT_TRUE(answer.has_value()) << "exactly one reply, before returning";
        return answer.value_or("no reply");
    }
    std::optional<std::string> reset() {
        std::optional<std::optional<std::string>> answer;
        service.resetLogoTables([&](std::optional<std::string> error) { answer = std::move(error); });
        EXPECT_TRUE(answer.has_value());
        return answer.value_or("no reply");
    }

    std::shared_ptr<ScriptedRunner> defaults = std::make_shared<ScriptedRunner>();
    std::shared_ptr<ScriptedRunner> killall = std::make_shared<ScriptedRunner>();
    std::shared_ptr<testing::RecordingLogSink> sink = std::make_shared<testing::RecordingLogSink>();
    HelperService service{defaults, killall, Logger(sink, "com.zelquin.lidora", "helper")};
};

TEST(LightState, OnlyALoneZeroFromASuccessfulReadIsOff) {
    EXPECT_EQ(lightState(0, "0\n"), 0);
    EXPECT_EQ(lightState(0, "  0 \t\r\n"), 0);
    EXPECT_EQ(lightState(0, "\u00a00\u2028"), 0) << "Unicode white space is trimmed too";
    EXPECT_EQ(lightState(0, "1\n"), 1);
    EXPECT_EQ(lightState(0, "00"), 1);
    EXPECT_EQ(lightState(0, ""), 1);
    EXPECT_EQ(lightState(0, "0 0"), 1);
    EXPECT_EQ(lightState(1, "0\n"), 1) << "a failed read counts as lit";
    EXPECT_EQ(lightState(-1, "Could not run defaults: gone"), 1);
}

TEST_F(HelperServiceTest, StateReadRepliesWithTheWireValueAndLogsTheUntrimmedOutput) {
    defaults->expect(kRead, {0, "0\n"});
    std::int64_t state = -1;
    std::optional<std::string> error = "unset";
    service.getState([&](std::int64_t s, std::optional<std::string> e) {
        state = s;
        error = std::move(e);
    });
    EXPECT_EQ(state, 0);
    EXPECT_EQ(error, std::nullopt);
    EXPECT_THAT(sink->messages(), ElementsAre("getState exit=0 output=0\n -> 0"));
    EXPECT_EQ(sink->records[0].category, "helper");
}

TEST_F(HelperServiceTest, SwitchingOffWritesZeroAndReportsTheTrimmedFailure) {
    defaults->expect(kOff, {0, ""});
    EXPECT_EQ(switchLight(false), std::nullopt);
    defaults->expect(kOff, {1, "  disk full \n"});
    EXPECT_EQ(switchLight(false), "Couldn't turn the light off: disk full");
    EXPECT_THAT(sink->messages(),
                ElementsAre("setLight(off) write exit=0 output=", "setLight(off) write exit=1 output=  disk full \n"));
}

TEST_F(HelperServiceTest, SwitchingOnDeletesTheKeyAndToleratesItsAbsence) {
    defaults->expect(kOn, {0, ""});
    EXPECT_EQ(switchLight(true), std::nullopt);

    // Already on: the delete fails, the read fails too, and that is success.
    defaults->expect(kOn, {1, kMissing});
    defaults->expect(kRead, {1, kMissing});
    EXPECT_EQ(switchLight(true), std::nullopt);

    // The delete failed and the key still holds 0.
    defaults->expect(kOn, {1, "permission denied\n"});
    defaults->expect(kRead, {0, "0\n"});
    EXPECT_EQ(switchLight(true), "Couldn't turn the light on: permission denied");

    // A tool that cannot run at all: its launch text follows the prefix, and
    // an empty output still leaves the prefix's space.
    defaults->expect(kOn, {-1, "Could not run defaults: gone"});
    defaults->expect(kRead, {0, "0"});
    EXPECT_EQ(switchLight(true), "Couldn't turn the light on: Could not run defaults: gone");
    // Nothing can run: the read proves nothing, so this is no success.
    defaults->expect(kOn, {-1, "Could not run defaults: gone"});
    defaults->expect(kRead, {-1, "Could not run defaults: gone"});
    EXPECT_EQ(switchLight(true), "Couldn't turn the light on: Could not run defaults: gone");
    defaults->expect(kOn, {1, "\n"});
    defaults->expect(kRead, {0, "0"});
    EXPECT_EQ(switchLight(true), "Couldn't turn the light on: ");
    // The fallback read is not logged.
    EXPECT_EQ(sink->records.size(), 6U);
}

TEST_F(HelperServiceTest, ResetDeletesBothTablesThenRestartsTheBrightnessService) {
    defaults->expect(kDeleteNits, {0, ""});
    defaults->expect(kDeleteLux, {0, ""});
    killall->expect(kKillall, {0, ""});
    EXPECT_EQ(reset(), std::nullopt);
    EXPECT_THAT(sink->messages(),
                ElementsAre("resetLogoTables LEPWMBrightnessNitsMapping delete exit=0 output=",
                            "resetLogoTables LEPWMLuxToMinNitsRestrictionMapping delete exit=0 output=",
                            "resetLogoTables killall exit=0 output="));
}

TEST_F(HelperServiceTest, ResetCountsAbsentTablesAsDeletedButStopsAtOneThatStays) {
    defaults->expect(kDeleteNits, {1, "missing"});
    defaults->expect(kReadNits, {1, "missing"});
    defaults->expect(kDeleteLux, {1, "missing"});
    defaults->expect(kReadLux, {1, "missing"});
    killall->expect(kKillall, {1, "No matching processes belonging to you were found\n"});
    EXPECT_EQ(reset(),
              "Reset the logo brightness, but couldn't restart corebrightnessd; it takes effect after a restart.");

    // A tool that cannot run deletes nothing: no restart, no success.
    defaults->expect(kDeleteNits, {-1, "Could not run defaults: gone"});
    defaults->expect(kReadNits, {-1, "Could not run defaults: gone"});
    EXPECT_EQ(reset(), "Couldn't reset the logo brightness: Could not run defaults: gone");

    defaults->calls.clear();
    defaults->expect(kDeleteNits, {1, " locked \n"});
    defaults->expect(kReadNits, {0, "(...)"});
    EXPECT_EQ(reset(), "Couldn't reset the logo brightness: locked");
    EXPECT_THAT(defaults->calls, ElementsAre(kDeleteNits, kReadNits)) << "the second table is left alone";
    EXPECT_EQ(killall->calls.size(), 1U) << "no restart after a failed delete";
}

TEST_F(HelperServiceTest, VersionAnswersTwoWithoutRunningAnything) {
    std::string version;
    service.version([&](std::string v) { version = std::move(v); });
    EXPECT_EQ(version, "2");
    EXPECT_TRUE(defaults->calls.empty());
    EXPECT_TRUE(killall->calls.empty());
}

}  // namespace
}  // namespace lidora
