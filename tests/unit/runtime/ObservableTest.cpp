#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "core/runtime/Expected.h"
#include "core/runtime/Observable.h"

namespace lidora {
namespace {

TEST(Observable, NotifiesOnlyOnRealChangesAndStopsWithTheSubscription) {
    Observable<int> value(1);
    std::vector<int> seen;
    auto subscription = value.subscribe([&](const int& v) { seen.push_back(v); });
    EXPECT_FALSE(value.set(1));
    EXPECT_TRUE(value.set(2));
    EXPECT_TRUE(value.set(3));
    subscription.cancel();
    value.set(4);
    EXPECT_EQ(seen, (std::vector<int>{2, 3}));
    EXPECT_EQ(value.get(), 4);
}

TEST(Observable, SubscribersMayUnsubscribeOthersAndSetDuringNotification) {
    Observable<int> value(0);
    std::vector<std::string> calls;
    Subscription second;
    auto first = value.subscribe([&](const int& v) {
        calls.push_back("first " + std::to_string(v));
        second.cancel();
        if (v == 1) {
            value.set(2);
        }
    });
    second = value.subscribe([&](const int& v) { calls.push_back("second " + std::to_string(v)); });
    value.set(1);
    EXPECT_EQ(calls, (std::vector<std::string>{"first 1", "first 2"}));
}

TEST(Expected, CarriesAValueOrAnError) {
    Expected<int, std::string> good = 3;
    Expected<int, std::string> bad = unexpected(std::string("nope"));
    Expected<void, std::string> done;
    Expected<void, std::string> failed = unexpected(std::string("broken"));
    EXPECT_TRUE(good);
    EXPECT_EQ(*good, 3);
    EXPECT_FALSE(bad);
    EXPECT_EQ(bad.error(), "nope");
    EXPECT_EQ(bad.value_or(9), 9);
    EXPECT_TRUE(done);
    EXPECT_EQ(failed.error(), "broken");
}

}  // namespace
}  // namespace lidora
