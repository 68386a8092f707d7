#pragma once

#include <memory>
#include <string>
#include <vector>

#include "core/message/MessagePresenter.h"
#include "core/runtime/Completion.h"
#include "core/runtime/VirtualRunLoop.h"
#include "tests/support/MemoryDefaults.h"
#include "tests/support/RecordingLogSink.h"
#include "tests/unit/light/LightFakes.h"

namespace lidora::testing {

// Answers each send when the test says so, as the watcher does once the
// light is on.
class FakeSending final : public MessageSending {
public:
    explicit FakeSending(RunLoop& loop) : loop_(loop) {}

    Task<bool> send(std::string text, MorseCode::Timing timing, bool markers) override {
        sent.push_back({text, timing, markers});
        const Completion<bool> answer(loop_);
        answers.push_back(answer);
        const bool ok = co_await answer;
        if (ok) {
            state.text.set(text);
        } else {
            state.problem.set("Couldn't turn the logo light on.");
        }
        co_return ok;
    }
    void stopMessage() override { calls.emplace_back("stop"); }
    void endMessage() override {
        calls.emplace_back("end");
        state.text.set(std::nullopt);
        state.character.set(std::nullopt);
    }
    MorseMessageState& messageState() override { return state; }

    struct Sent {
        std::string text;
        MorseCode::Timing timing;
        bool markers;
    };
    std::vector<Sent> sent;
    std::vector<Completion<bool>> answers;
    std::vector<std::string> calls;
    MorseMessageState state;

private:
    RunLoop& loop_;
};

// What a message window is built over, on a virtual clock.
struct MessageRig {
    MessageParts parts() { return MessageParts{loop, sending, controller, defaults}; }

    VirtualRunLoop loop;
    Trace trace;
    FakeLight light{loop, trace};
    FakeRegistration registration{trace};
    FakeEnvironment environment;
    LightController controller{HardwareSupport::supported,
                               "Mac17,10",
                               std::nullopt,
                               light,
                               registration,
                               [] {},
                               Logger(std::make_shared<RecordingLogSink>(), "com.zelquin.lidora", "app"),
                               loop,
                               environment};
    MemoryDefaultsProvider defaults;
    FakeSending sending{loop};
};

}  // namespace lidora::testing
