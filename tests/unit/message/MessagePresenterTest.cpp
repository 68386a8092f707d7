#include <gtest/gtest.h>

#include "tests/unit/message/MessageFakes.h"

namespace lidora::testing {
namespace {

struct FakeDisplay final : MessageDisplay {
    void render(const MessageViewState& state) override { shown = state; }
    void dismiss() override { ++closes; }
    MessageViewState shown;
    int closes = 0;
};

TEST(MessagePresenter, SendsWithTheStoredSettingsOnceAtATime) {
    MessageRig rig;
    rig.defaults.standardDefaults->values.emplace("morseSpeed", "slow");
    rig.defaults.standardDefaults->values.emplace("morseMarkers", false);
    FakeDisplay display;
    std::optional<MessagePresenter> presenter(rig.parts());
    presenter->attach(&display);

    presenter->textEdited("sos");
    presenter->send();
    presenter->send();
    EXPECT_FALSE(display.shown.sendEnabled);
    rig.loop.runUntilIdle();
    ASSERT_EQ(rig.sending.sent.size(), 1U);
    EXPECT_EQ(rig.sending.sent[0].timing, (MorseCode::Timing{0.6, 2, 4, 5}));
    EXPECT_FALSE(rig.sending.sent[0].markers);
    rig.sending.answers[0].resolve(false);
    rig.loop.runUntilIdle();
    EXPECT_EQ(display.shown.problemLine, "Couldn't turn the logo light on.");
    EXPECT_TRUE(display.shown.sendEnabled);

    presenter->speedChosen(MessageSettings::Speed::pro);
    presenter->markersChosen(true);
    EXPECT_EQ(rig.defaults.standardDefaults->values.at("morseSpeed"), PreferenceValue("pro"));
    EXPECT_EQ(rig.defaults.standardDefaults->values.at("morseMarkers"), PreferenceValue(true));
    presenter->send();
    rig.loop.runUntilIdle();
    EXPECT_EQ(rig.sending.sent.at(1).timing.unit, 0.25);

    // A presenter gone before the answer comes is not touched.
    presenter.reset();
    rig.sending.answers.at(1).resolve(true);
    rig.loop.runUntilIdle();
    EXPECT_TRUE(rig.sending.state.text.get());
}

}  // namespace
}  // namespace lidora::testing
