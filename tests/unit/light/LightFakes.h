#pragma once

#include <deque>
#include <string>
#include <vector>

#include "core/light/HelperRegistering.h"
#include "core/light/LightService.h"
#include "core/ports/SystemInfo.h"
#include "core/runtime/Completion.h"

namespace lidora::testing {

using Trace = std::vector<std::string>;

// Scripted answers in order; a call with none left waits until the test resolves it.
template <typename T>
struct Answers {
    std::deque<T> scripted;
    std::vector<Completion<T>> held;
};

template <typename T>
Task<T> answer(RunLoop& loop, Answers<T>& answers) {
    if (!answers.scripted.empty()) {
        T next = std::move(answers.scripted.front());
        answers.scripted.pop_front();
        co_return next;
    }
    const Completion<T> slot(loop);
    answers.held.push_back(slot);
    co_return co_await slot;
}

inline HelperError failure(std::string message) {
    return HelperError{std::move(message)};
}

class FakeLight final : public LightService {
public:
    FakeLight(RunLoop& loop, Trace& trace) : loop_(loop), trace_(trace) {}

    Task<Expected<LightState, HelperError>> state() override {
        trace_.push_back("state");
        return answer(loop_, states);
    }
    Task<Expected<void, HelperError>> setLight(LightState target) override {
        trace_.push_back(target == LightState::on ? "setLight(on)" : "setLight(off)");
        return answer(loop_, switches);
    }
    Task<Expected<std::string, HelperError>> version() override {
        trace_.push_back("version");
        return answer(loop_, versions);
    }
    Task<Expected<void, HelperError>> resetLogoTables() override {
        trace_.push_back("reset");
        return answer(loop_, resets);
    }

    Answers<Expected<LightState, HelperError>> states;
    Answers<Expected<void, HelperError>> switches;
    Answers<Expected<std::string, HelperError>> versions;
    Answers<Expected<void, HelperError>> resets;

private:
    RunLoop& loop_;
    Trace& trace_;
};

class FakeRegistration final : public HelperRegistering {
public:
    explicit FakeRegistration(Trace& trace) : trace_(trace) {}

    [[nodiscard]] HelperStatus status() const override { return current; }
    Task<Expected<void, PlatformError>> registerService() override {
        trace_.push_back("register");
        if (registerGate) {
            (void)co_await *registerGate;
        }
        current = statusAfterRegister.value_or(current);
        if (registerError) {
            co_return unexpected(*registerError);
        }
        co_return Expected<void, PlatformError>{};
    }
    Task<Expected<void, PlatformError>> unregister() override {
        trace_.push_back("unregister");
        if (unregisterError) {
            co_return unexpected(*unregisterError);
        }
        co_return Expected<void, PlatformError>{};
    }
    void openSystemSettings() override { trace_.push_back("settings"); }

    HelperStatus current = HelperStatus::enabled;
    std::optional<HelperStatus> statusAfterRegister;
    // When set, registering answers once the test resolves it.
    std::optional<Completion<bool>> registerGate;
    std::optional<PlatformError> registerError;
    std::optional<PlatformError> unregisterError;

private:
    Trace& trace_;
};

class FakeEnvironment final : public ProcessEnvironment {
public:
    [[nodiscard]] std::string bundlePath() const override { return bundle; }
    [[nodiscard]] PreferenceDictionary bundleInfo() const override { return info; }
    [[nodiscard]] std::string operatingSystemVersionString() const override { return "Version 26.1 (Build 25B78)"; }
    std::string bundle = "/Applications/Lidora.app";
    PreferenceDictionary info;
};

}  // namespace lidora::testing
