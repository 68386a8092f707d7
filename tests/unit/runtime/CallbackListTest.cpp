#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/runtime/CallbackList.h"

namespace lidora {
namespace {

using Trace = std::vector<std::string>;
using Locked = CallbackList<void(Trace&), std::mutex>;

struct Case {
    const char* name;
    // Registers callbacks, calls the list twice and returns what was called.
    std::function<Trace()> run;
    Trace expected;
};

TEST(CallbackList, RegistrationsChangedWhileCalling) {
    const std::vector<Case> cases = {
        {"cancel a later one during the call",
         [] {
             CallbackList<void(Trace&)> list;
             Cancellable second;
             auto first = list.add([&](Trace& trace) {
                 trace.push_back("first");
                 second.cancel();
             });
             second = list.add([](Trace& trace) { trace.push_back("second"); });
             Trace trace;
             list.call(trace);
             list.call(trace);
             return trace;
         },
         {"first", "first"}},
        {"cancel itself during the call, then use what it captured",
         [] {
             CallbackList<void(Trace&)> list;
             Cancellable self;
             self = list.add([&self, word = std::string("once")](Trace& trace) {
                 self.cancel();
                 trace.push_back(word);
             });
             Trace trace;
             list.call(trace);
             list.call(trace);
             return trace;
         },
         {"once"}},
        {"add during the call waits for the next",
         [] {
             CallbackList<void(Trace&)> list;
             Cancellable added;
             auto first = list.add([&](Trace& trace) {
                 trace.push_back("first");
                 if (!added.holdsRegistration()) {
                     added = list.add([](Trace& later) { later.push_back("added"); });
                 }
             });
             Trace trace;
             list.call(trace);
             list.call(trace);
             return trace;
         },
         {"first", "first", "added"}},
        {"handle outliving the list cancels nothing",
         [] {
             Cancellable handle;
             {
                 Locked list;
                 handle = list.add([](Trace&) {});
             }
             handle.cancel();
             return Trace{handle.holdsRegistration() ? "held" : "released"};
         },
         {"released"}},
        {"entry destructor cancels another handle of the same list",
         [] {
             Locked list;
             auto other = std::make_shared<Cancellable>(list.add([](Trace& trace) { trace.push_back("other"); }));
             auto owner = list.add([other](Trace& trace) { trace.push_back("owner"); });
             other.reset();
             Trace trace;
             list.call(trace);
             owner.cancel();  // takes the other's handle with it, lock released
             list.call(trace);
             trace.push_back(list.empty() ? "empty" : "not empty");
             return trace;
         },
         {"other", "owner", "empty"}},
    };
    for (const auto& each : cases) {
        EXPECT_EQ(each.run(), each.expected) << each.name;
    }
}

TEST(CallbackList, LockedListTakesRegistrationsAndCallsFromTwoThreads) {
    Locked list;
    std::atomic<int> steady{0};
    auto kept = list.add([&](Trace&) { ++steady; });
    constexpr int kRounds = 2000;
    std::thread churn([&] {
        for (int i = 0; i < kRounds; ++i) {
            auto passing = list.add([](Trace& trace) { trace.push_back("passing"); });
            auto nested = list.add([&list](Trace&) { auto inner = list.add([](Trace&) {}); });
        }
    });
    for (int i = 0; i < kRounds; ++i) {
        Trace trace;
        list.call(trace);
    }
    churn.join();
    EXPECT_EQ(steady.load(), kRounds);
    kept.cancel();
    EXPECT_TRUE(list.empty());
}

}  // namespace
}  // namespace lidora
