#include <gtest/gtest.h>

#include "core/runtime/VirtualRunLoop.h"
#include "core/shell/ApprovalWatch.h"
#include "tests/unit/light/LightFakes.h"

namespace lidora::testing {
namespace {

using namespace std::chrono_literals;

// However the approval falls against the poll's beat, it is seen within one
// interval, and looking stops once it is.
TEST(ApprovalWatch, NoticesAnApprovalWithinOneInterval) {
    for (const Duration approvedAfter : {Duration(0ms), Duration(1ms), Duration(700ms), Duration(1999ms),
                                         Duration(2000ms), Duration(2001ms), Duration(9s)}) {
        SCOPED_TRACE(approvedAfter.count());
        VirtualRunLoop loop;
        Trace trace;
        FakeRegistration registration{trace};
        registration.current = HelperStatus::requiresApproval;
        std::vector<TimePoint> noticed;
        ApprovalWatch watch(loop, registration, [&] { noticed.push_back(loop.now()); });
        watch.follow(Phase::needsApproval());
        watch.follow(Phase::needsApproval());  // one watch, however often told

        loop.advance(approvedAfter);
        EXPECT_TRUE(noticed.empty());
        const TimePoint approvedAt = loop.now();
        registration.current = HelperStatus::enabled;
        loop.advance(kApprovalPollInterval);
        ASSERT_EQ(noticed.size(), 1U);
        EXPECT_LE(noticed[0] - approvedAt, kApprovalPollInterval);
        EXPECT_FALSE(watch.isWatching());
        loop.advance(10s);
        EXPECT_EQ(noticed.size(), 1U);
    }
}

TEST(ApprovalWatch, LooksOnlyWhileApprovalIsPending) {
    VirtualRunLoop loop;
    Trace trace;
    FakeRegistration registration{trace};
    int noticed = 0;
    ApprovalWatch watch(loop, registration, [&] { ++noticed; });
    for (const auto& phase : {Phase::loading(), Phase::ready(LightState::on), Phase::failed("x", std::nullopt)}) {
        watch.follow(phase);
        EXPECT_FALSE(watch.isWatching()) << phase.text();
    }
    watch.follow(Phase::needsApproval());
    EXPECT_TRUE(watch.isWatching());
    watch.follow(Phase::ready(LightState::off));
    EXPECT_FALSE(watch.isWatching()) << "the light came by another way";
    loop.advance(10s);
    EXPECT_EQ(noticed, 0);
}

}  // namespace
}  // namespace lidora::testing
