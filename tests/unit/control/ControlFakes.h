#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/control/ControlParts.h"
#include "core/runtime/VirtualRunLoop.h"
#include "tests/support/MemoryDefaults.h"
#include "tests/support/StartedTask.h"
#include "tests/unit/light/LightFakes.h"

namespace lidora::testing {

// Every fake writes what it was asked into one trace, so a test sees the order.
struct TracedNotifications final : DarwinNotificationCenter {
    explicit TracedNotifications(Trace& t) : trace(t) {}
    void post(std::string_view name) override { trace.push_back("post " + std::string(name)); }
    Cancellable observe(std::string_view /*name*/, std::function<void()> /*handler*/) override { return {}; }
    Trace& trace;
};

struct TracedControls final : ControlCenter {
    explicit TracedControls(Trace& t) : trace(t) {}
    void reloadControls(std::string_view kind) override { trace.push_back("reload " + std::string(kind)); }
    Trace& trace;
};

struct FakeApplications final : ApplicationWorkspace, RunningApplications {
    explicit FakeApplications(Trace& t) : trace(t) {}
    [[nodiscard]] std::optional<std::string> urlForApplication(std::string_view bundleIdentifier) const override {
        return installed && bundleIdentifier == "com.zelquin.lidora" ? std::optional<std::string>(url) : std::nullopt;
    }
    Task<Expected<void, std::string>> openApplication(std::string where, OpenConfiguration configuration) override {
        trace.push_back(std::string(configuration.activates ? "open+activate " : "open ") + where);
        if (openFails) {
            co_return unexpected(std::string("cannot open"));
        }
        co_return Expected<void, std::string>{};
    }
    Task<std::vector<std::int32_t>> runningApplications(std::string bundleIdentifier) override {
        trace.push_back("running? " + bundleIdentifier);
        co_return running ? std::vector<std::int32_t>{4242} : std::vector<std::int32_t>{};
    }
    Trace& trace;
    bool installed = true;
    bool running = true;
    bool openFails = false;
    std::string url = "/Applications/Lidora.app";
};

// The extension's parts over fakes on a virtual clock.
struct ControlWorld {
    Trace trace;
    VirtualRunLoop loop;
    FakeLight light{loop, trace};
    MemoryDefaultsProvider defaults;
    TracedNotifications notifications{trace};
    TracedControls controls{trace};
    FakeApplications apps{trace};
    control::ControlParts parts{light, defaults, notifications, controls, apps, apps, Logger()};

    MemoryDefaults& group() { return *defaults.suiteDefaults; }

    // Runs a task to its end on the loop; the fakes answer at once.
    template <typename T>
    T finish(Task<T> task) {
        std::optional<T> out;
        auto started = start(capture(std::move(task), out));
        loop.runUntilIdle();
        EXPECT_TRUE(started.done()) << "the task still waits";
        return std::move(out).value();
    }

private:
    template <typename T>
    static Task<void> capture(Task<T> task, std::optional<T>& out) {
        out.emplace(co_await std::move(task));
    }
};

}  // namespace lidora::testing
