// Typed text on its way to the logo: the steps, preview, skipped characters
// and duration of any text under any timing, the message window's lines
// about it, and the decoder reading any light back.
//
// Input: a mode byte, three gap bytes, then the text (or, in decoder mode,
// pairs of bytes: time step and level).

#include <climits>
#include <cmath>
#include <limits>

#include "core/message/MessageModel.h"
#include "core/morse/MorseCode.h"
#include "core/morse/MorseDecoder.h"
#include "tests/fuzz/FuzzInput.h"

using namespace lidora;

namespace {

// Small gaps mostly, now and then one at the ends of int's range.
int gap(std::uint8_t b) {
    if (b < 200) {
        return static_cast<int>(b) - 100;
    }
    if (b < 250) {
        return INT_MAX - (b - 200);
    }
    return INT_MIN + (b - 250);
}

double unit(std::uint8_t b) {
    constexpr double kUnits[] = {0.4,
                                 0.6,
                                 0.25,
                                 1e-9,
                                 0.0,
                                 -1.0,
                                 1e300,
                                 std::numeric_limits<double>::infinity(),
                                 std::numeric_limits<double>::quiet_NaN()};
    return kUnits[b % std::size(kUnits)];
}

void checkSteps(const std::vector<MorseCode::Step>& steps, const SentMessage& message) {
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const auto& step = steps[i];
        LIDORA_FUZZ_CHECK(step.units >= 1);
        LIDORA_FUZZ_CHECK(step.on || i == 0 || steps[i - 1].on);
        // Every bright character step points at a character the window can show.
        if (step.on && step.character) {
            LIDORA_FUZZ_CHECK(message.index(step.character).has_value());
        }
    }
}

void text(fuzz::FuzzInput& input, std::uint8_t mode) {
    const bool markers = (mode & 2U) != 0;
    MorseCode::Timing timing{unit(mode >> 2U), gap(input.byte()), gap(input.byte()), gap(input.byte())};
    const std::string_view typed = input.rest();

    const auto steps = MorseCode::steps(typed, timing, markers);
    const SentMessage message{std::string(typed)};
    checkSteps(steps, message);
    const std::string preview = MorseCode::preview(typed, markers);
    LIDORA_FUZZ_CHECK(steps.empty() == preview.empty());
    (void)MorseCode::skippedCharacters(typed);
    const double seconds = MorseCode::duration(steps, timing.unit);
    (void)MorseCode::durationText(seconds);
    (void)morseGlyphs(preview);

    MessageInputs inputs;
    inputs.text = limitedMessage(typed);
    inputs.markers = markers;
    inputs.speed = MessageSettings::kSpeeds[mode % 3U];
    inputs.sending = std::make_shared<const SentMessage>(message);
    inputs.sendingAnchor = static_cast<int>(typed.size() % 300U);
    for (const auto& step : steps) {
        if (step.on && step.character && step.character != inputs.sendingCharacter) {
            inputs.sendingCharacter = step.character;
            const SendingLine line = sendingLine(message, step.character, inputs.sendingAnchor);
            LIDORA_FUZZ_CHECK(!line.current.empty());
        }
    }
    (void)messageViewState(inputs);
}

void decoder(fuzz::FuzzInput& input, std::uint8_t mode) {
    MorseDecoder decoder(MorseCode::Timing{0.4, 1 + (mode >> 2U) % 4, 2 + (mode >> 4U) % 8, 5});
    double now = 0.0;
    while (!input.rest().empty()) {
        const std::uint8_t step = input.byte();
        const std::uint8_t level = input.byte();
        // Mostly forwards in small steps; sometimes a jump, or back in time.
        now += step < 250 ? step * 0.01 : (step == 250 ? -1.0 : 60.0 * (step - 250));
        (void)decoder.sample(now, level == 255 ? std::numeric_limits<double>::quiet_NaN() : level * 2.0);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::FuzzInput input(data, size);
    const std::uint8_t mode = input.byte();
    if ((mode & 1U) == 0) {
        text(input, mode);
    } else {
        decoder(input, mode);
    }
    return 0;
}
