#include <gtest/gtest.h>

#include "core/runtime/VirtualRunLoop.h"
#include "core/shell/BrightnessApplication.h"
#include "core/shell/HotKey.h"
#include "core/shell/Updater.h"
#include "tests/unit/shell/ShellFakes.h"

namespace lidora::testing {
namespace {

using namespace std::chrono_literals;

TEST(HotKey, IdentifiersCountUpAndEachPressRunsOnlyItsAction) {
    FakeHotKeyEvents events;
    HotKeyCenter center(events);
    int sevens = 0;
    int zeros = 0;
    const auto seven = HotKey::create(center, kKeyCode7, kShiftCommand, [&] { ++sevens; });
    const auto zero = HotKey::create(center, kKeyCode0, kShiftCommand, [&] { ++zeros; });
    ASSERT_TRUE(seven && zero);
    EXPECT_EQ(seven->identifier(), 1U);
    EXPECT_EQ(zero->identifier(), 2U);
    EXPECT_EQ(events.registered[0].id.signature, fourCharCode("LDRA"));
    EXPECT_EQ(events.installs, 1);
    events.press(kKeyCode0, kShiftCommand);
    EXPECT_EQ(zeros, 1);
    EXPECT_EQ(sevens, 0);
    EXPECT_EQ(center.dispatch(EventHotKeyID{kHotKeySignature, 99}), kNoErr);
}

TEST(HotKey, RefusalsAdvanceTheCounterAndKeepTheHandler) {
    FakeHotKeyEvents events;
    HotKeyCenter center(events);
    events.installError = -1;
    EXPECT_EQ(HotKey::create(center, kKeyCode7, kShiftCommand, [] {}), nullptr);
    EXPECT_FALSE(center.handlerInstalled());
    events.installError = kNoErr;
    events.refuse = true;
    EXPECT_EQ(HotKey::create(center, kKeyCode7, kShiftCommand, [] {}), nullptr);
    EXPECT_TRUE(center.handlerInstalled());
    EXPECT_EQ(center.nextIdentifier(), 2U);
    events.refuse = false;
    int pressed = 0;
    const auto key = HotKey::create(center, kKeyCode7, kShiftCommand, [&] { ++pressed; });
    ASSERT_TRUE(key);
    EXPECT_EQ(key->identifier(), 2U);
    EXPECT_EQ(events.installs, 2);
    // The registry keeps a key registered after its last other owner lets go.
    const auto id = key->identifier();
    EXPECT_EQ(center.registeredCount(), 1U);
    center.dispatch(EventHotKeyID{kHotKeySignature, id});
    EXPECT_EQ(pressed, 1);
}

TEST(Updater, GentleRemindersPublishTheVersionUntilAttentionOrTheSessionEnds) {
    VirtualRunLoop loop;
    FakeUpdaterController* controller = nullptr;
    Updater updater(
        [&](bool starting, StandardUserDriverDelegate&) {
            EXPECT_TRUE(starting);
            auto made = std::make_unique<FakeUpdaterController>();
            controller = made.get();
            return made;
        },
        loop);
    ASSERT_NE(controller, nullptr);
    EXPECT_TRUE(updater.canCheckForUpdates());
    controller->setCanCheck(false);
    EXPECT_FALSE(updater.canCheckForUpdates());

    EXPECT_TRUE(updater.supportsGentleScheduledUpdateReminders());
    const AppcastItem item{"15", "1.1"};
    EXPECT_FALSE(updater.standardUserDriverShouldHandleShowingScheduledUpdate(item, false));
    EXPECT_TRUE(updater.standardUserDriverShouldHandleShowingScheduledUpdate(item, true));

    updater.standardUserDriverWillHandleShowingUpdate(false, item, {});
    EXPECT_FALSE(updater.pendingVersion());  // set on the loop, not inside the callback
    loop.runUntilIdle();
    EXPECT_EQ(updater.pendingVersion(), "1.1");
    updater.standardUserDriverDidReceiveUserAttention(item);
    loop.runUntilIdle();
    EXPECT_FALSE(updater.pendingVersion());

    updater.standardUserDriverWillHandleShowingUpdate(false, item, {});
    updater.standardUserDriverWillFinishUpdateSession();
    loop.runUntilIdle();
    EXPECT_FALSE(updater.pendingVersion());
    updater.standardUserDriverWillHandleShowingUpdate(true, item, {});
    loop.runUntilIdle();
    EXPECT_FALSE(updater.pendingVersion());

    updater.setAutomaticallyChecksForUpdates(false);
    EXPECT_FALSE(updater.automaticallyChecksForUpdates());
}

TEST(BrightnessApplication, RapidMovementAppliesOnceAfterStillnessAndOnceOnRelease) {
    VirtualRunLoop loop;
    std::vector<TimePoint> applied;
    BrightnessApplication application(loop, [&] { applied.push_back(loop.now()); });
    const auto start = loop.now();
    for (int step = 0; step < 10; ++step) {
        application.schedule(kSliderSettleDelay);
        loop.advance(20ms);
    }
    EXPECT_TRUE(applied.empty());
    loop.advance(60ms);
    ASSERT_EQ(applied.size(), 1U);
    EXPECT_EQ(applied[0] - start, 200ms + 60ms);
    application.schedule(kSliderSettleDelay);
    application.schedule(Duration::zero());
    loop.runUntilIdle();
    loop.advance(200ms);
    EXPECT_EQ(applied.size(), 2U);
    EXPECT_FALSE(application.isPending());
}

}  // namespace
}  // namespace lidora::testing
