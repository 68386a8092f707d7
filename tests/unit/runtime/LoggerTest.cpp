#include <gtest/gtest.h>

#include <chrono>
#include <memory>

#include "core/runtime/LogThrottle.h"
#include "core/runtime/Logger.h"
#include "tests/support/RecordingLogSink.h"

namespace lidora {
namespace {

TEST(LogFormat, PublicArgumentsShowAndPrivateTextIsRedacted) {
    EXPECT_EQ(renderLogMessage("getState exit=%d output=%{public}s -> %ld",
                               {std::int64_t{0}, std::string("0\n"), std::int64_t{0}}),
              "getState exit=0 output=0\n -> 0");
    EXPECT_EQ(renderLogMessage("sending %s and %@", {std::string("SOS"), std::string("obj")}),
              "sending <private> and <private>");
    EXPECT_EQ(renderLogMessage("pid %{private}d of %{public}@", {std::int64_t{42}, std::string("Lidora")}),
              "pid <private> of Lidora");
    EXPECT_EQ(renderLogMessage("100%% at %u/%x", {std::uint64_t{7}, std::uint64_t{255}}), "100% at 7/ff");
    EXPECT_EQ(renderLogMessage("level %f", {0.5}), "level 0.500000");
    EXPECT_EQ(renderLogMessage("camera %{bool,public}d, mic %{bool}d, %{bool,private}d, %{public,bool}u",
                               {std::int64_t{1}, std::int64_t{0}, std::int64_t{1}, std::uint64_t{2}}),
              "camera true, mic false, <private>, true");
}

TEST(LogFormat, MismatchedOrBrokenFormatsNeverCrash) {
    EXPECT_EQ(renderLogMessage("%d and %s", {std::int64_t{1}}), "1 and <missing>");
    EXPECT_EQ(renderLogMessage("%{public}s", {std::int64_t{-3}}), "-3");
    EXPECT_EQ(renderLogMessage("%d", {std::string("text")}), "text");
    EXPECT_EQ(renderLogMessage("tail %", {}), "tail %");
    EXPECT_EQ(renderLogMessage("open %{public", {std::string("x")}), "open %{public");
    EXPECT_EQ(renderLogMessage("no args", {std::string("extra")}), "no args");
}

TEST(Logger, TagsRecordsWithSubsystemCategoryAndLevel) {
    auto sink = std::make_shared<testing::RecordingLogSink>();
    const Logger log(sink, std::string(kLogSubsystem), "helper");
    log.notice("Accepted connection from pid %d", 1234);
    log.fault("Helper is missing LSTeamID; refusing to start.");
    log.info("message %s", std::string("secret"));
    ASSERT_EQ(sink->records.size(), 3U);
    EXPECT_EQ(sink->records[0].subsystem, "com.zelquin.lidora");
    EXPECT_EQ(sink->records[0].category, "helper");
    EXPECT_EQ(sink->records[0].message, "Accepted connection from pid 1234");
    EXPECT_EQ(sink->records[1].level, LogLevel::Fault);
    EXPECT_EQ(sink->records[2].message, "message <private>");
    Logger silent;
    silent.error("goes nowhere %d", 1);
}

TEST(LogThrottle, LetsABurstThroughThenCountsWhatItHeldBack) {
    using std::chrono::milliseconds;
    TimePoint now{};
    LogThrottle throttle(2, std::chrono::seconds(1), [&] { return now; });
    const struct {
        milliseconds at;
        LogThrottle::Admission expected;
    } steps[] = {
        {milliseconds(0), {true, 0}},     {milliseconds(10), {true, 0}},   {milliseconds(20), {false, 0}},
        {milliseconds(999), {false, 0}},  {milliseconds(1000), {true, 2}}, {milliseconds(1001), {true, 0}},
        {milliseconds(1002), {false, 0}}, {milliseconds(5000), {true, 1}},
    };
    for (const auto& step : steps) {
        now = TimePoint(step.at);
        EXPECT_EQ(throttle.admit(), step.expected) << "at " << step.at.count() << " ms";
    }
}

}  // namespace
}  // namespace lidora
