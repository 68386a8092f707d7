#include <gtest/gtest.h>

#include "core/message/MessagePresenter.h"
#include "core/runtime/Completion.h"
#include "core/runtime/VirtualRunLoop.h"
#include "core/text/Characters.h"
#include "tests/support/MemoryDefaults.h"
#include "tests/support/RecordingLogSink.h"
#include "tests/unit/light/LightFakes.h"

namespace lidora::testing {
namespace {

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

struct FakeDisplay final : MessageDisplay {
    void render(const MessageViewState& state) override { shown = state; }
    void dismiss() override { ++closes; }
    MessageViewState shown;
    int closes = 0;
};

class MessagePresenterTest : public ::testing::Test {
protected:
    MessagePresenter& make() {
        presenter.emplace(MessageParts{loop, sending, controller, defaults});
        presenter->attach(&display);
        return *presenter;
    }

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
    FakeDisplay display;
    std::optional<MessagePresenter> presenter;
};

TEST_F(MessagePresenterTest, PasteSendProgressAndStop) {
    defaults.standardDefaults->values.emplace("morseSpeed", "slow");
    defaults.standardDefaults->values.emplace("morseMarkers", false);
    auto& p = make();

    std::string pasted;
    for (int i = 0; i < 10'000; ++i) {
        pasted += static_cast<char>('a' + i % 26);
    }
    p.textEdited(pasted);
    EXPECT_EQ(display.shown.text, pasted.substr(0, 200));
    EXPECT_TRUE(display.shown.durationOrange);

    p.send();
    EXPECT_FALSE(display.shown.sendEnabled);
    p.send();
    loop.runUntilIdle();
    ASSERT_EQ(sending.sent.size(), 1U);
    EXPECT_EQ(sending.sent[0].text, pasted.substr(0, 200));
    EXPECT_EQ(sending.sent[0].timing, (MorseCode::Timing{0.6, 2, 4, 5}));
    EXPECT_FALSE(sending.sent[0].markers);

    sending.answers[0].resolve(true);
    loop.runUntilIdle();
    ASSERT_TRUE(display.shown.sending);
    EXPECT_EQ(display.shown.subtitle, kSendingSubtitle);
    sending.state.character.set(3);
    sending.state.isBright.set(true);
    EXPECT_EQ(display.shown.sending->before, "abc");
    EXPECT_EQ(display.shown.sending->current, "d");
    EXPECT_TRUE(display.shown.bulbLit);
    EXPECT_FALSE(display.shown.sendEnabled);

    p.escape();
    EXPECT_EQ(sending.calls, (std::vector<std::string>{"stop", "end"}));
    EXPECT_FALSE(display.shown.sending);
    EXPECT_TRUE(display.shown.sendEnabled);
    EXPECT_EQ(display.closes, 0);
    p.escape();
    EXPECT_EQ(display.closes, 1);
}

TEST_F(MessagePresenterTest, FailureShowsInRedAndSettingsAreStored) {
    auto& p = make();
    p.speedChosen(MessageSettings::Speed::pro);
    p.markersChosen(false);
    EXPECT_EQ(defaults.standardDefaults->values.at("morseSpeed"), PreferenceValue("pro"));
    EXPECT_EQ(defaults.standardDefaults->values.at("morseMarkers"), PreferenceValue(false));
    EXPECT_EQ(display.shown.speed, MessageSettings::Speed::pro);

    p.textEdited("sos");
    p.send();
    loop.runUntilIdle();
    sending.answers.at(0).resolve(false);
    loop.runUntilIdle();
    EXPECT_EQ(display.shown.problemLine, "Couldn't turn the logo light on.");
    EXPECT_TRUE(display.shown.sendEnabled);

    // A presenter gone before the answer comes is not touched.
    p.send();
    loop.runUntilIdle();
    presenter.reset();
    sending.answers.at(1).resolve(true);
    loop.runUntilIdle();
    EXPECT_TRUE(sending.state.text.get());
}

TEST_F(MessagePresenterTest, AHelperAwaitingApprovalBlocksSending) {
    registration.current = HelperStatus::requiresApproval;
    auto& p = make();
    p.textEdited("hi");
    EXPECT_EQ(display.shown.problemLine, "Lidora needs its helper approved first.");
    p.send();
    loop.runUntilIdle();
    EXPECT_TRUE(sending.sent.empty());
}

}  // namespace
}  // namespace lidora::testing
