#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "core/effects/LogoBreather.h"
#include "core/morse/MorseDecoder.h"

namespace lidora {
namespace {

using Kind = MorseDecoder::Heard::Kind;
using ::testing::ElementsAre;

// The logo as the player lights it: 60 nits at the stored level, the curve
// scaled by 3.5 when bright and 0.27 when dark, every level moved by the
// display's nudge for 0.15 s after each step begins.
constexpr double kNormal = 60.0;
constexpr double kBright = 210.0;
constexpr double kDark = 16.2;
constexpr double kNudge = 1.018;
constexpr double kRate = 0.02;  // seconds between samples

using Luminance = std::function<double(double)>;

// Piecewise levels: each (seconds it lasts, level), the last held forever.
struct Timeline {
    std::vector<std::pair<double, double>> pieces;

    void add(double seconds, double level) { pieces.emplace_back(seconds, level); }

    // The steps of `text` played `passes` times, each step's length off by
    // up to `jitter` seconds.
    void play(std::string_view text, bool markers, double unit, int passes, double jitter, unsigned seed = 7) {
        std::mt19937 random(seed);
        std::uniform_real_distribution<double> off(-jitter, jitter);
        const auto steps = MorseCode::steps(text, MorseCode::Timing{unit, 2, 4, 5}, markers);
        for (int pass = 0; pass < passes; ++pass) {
            for (const auto& step : steps) {
                add(step.units * unit + off(random), step.on ? kBright : kDark);
            }
        }
    }

    [[nodiscard]] double at(double t) const {
        double start = 0.0;
        for (const auto& [seconds, level] : pieces) {
            if (t < start + seconds) {
                return t < start + 0.15 ? level * kNudge : level;
            }
            start += seconds;
        }
        return pieces.back().second;
    }

    [[nodiscard]] double length() const {
        double total = 0.0;
        for (const auto& piece : pieces) {
            total += piece.first;
        }
        return total;
    }
};

struct Decoded {
    std::vector<std::string> texts;
    std::string streamed;  // characters and spaces as they came
    std::vector<MorseDecoder::Light> lights;
};

Decoded decode(const Luminance& luminance, double from, double to) {
    MorseDecoder decoder;
    Decoded out;
    for (double t = from; t < to; t += kRate) {
        for (const auto& heard : decoder.sample(t, luminance(t))) {
            switch (heard.kind) {
                case Kind::character: out.streamed += heard.value; break;
                case Kind::space: out.streamed += ' '; break;
                case Kind::text:
                    out.texts.push_back(heard.value);
                    out.streamed += '|';
                    break;
            }
        }
        if (out.lights.empty() || out.lights.back() != decoder.light()) {
            out.lights.push_back(decoder.light());
        }
    }
    return out;
}

Decoded decode(const Timeline& timeline, double from = 0.0, double extra = 10.0) {
    return decode([&](double t) { return timeline.at(t); }, from, timeline.length() + extra);
}

TEST(MorseDecoderTest, ReadsBackWhatThePlayerSendsAtEverySpeed) {
    struct Case {
        const char* text;
        bool markers;
        double unit;
        int passes;
        double jitter;
        std::vector<std::string> texts;
        std::string streamed;
    };
    const std::vector<Case> cases{
        {"ON AIR", false, 0.4, 2, 0.03, {"ON AIR", "ON AIR"}, "ON AIR|ON AIR|"},
        {"sos now", true, 0.25, 1, 0.02, {"-.-.- SOS NOW .-.-."}, "-.-.- SOS NOW .-.-.|"},
        {"Hi 73!", false, 0.6, 1, 0.05, {"HI 73!"}, "HI 73!|"},
        {"1+1=2", true, 0.4, 1, 0.03, {"-.-.- 1+1=2 .-.-."}, "-.-.- 1+1=2 .-.-.|"},
        {"E", true, 0.25, 1, 0.0, {"-.-.- E .-.-."}, "-.-.- E .-.-.|"},
        // Without a run of one unit a lone dash cannot be told from a dot.
        {"T", false, 0.4, 1, 0.0, {}, ""},
    };
    for (const auto& c : cases) {
        Timeline timeline;
        timeline.add(3.0, kNormal);
        timeline.play(c.text, c.markers, c.unit, c.passes, c.jitter);
        timeline.add(1.0, kNormal);
        const auto decoded = decode(timeline);
        EXPECT_EQ(decoded.texts, c.texts) << c.text;
        EXPECT_EQ(decoded.streamed, c.streamed) << c.text;
    }
}

TEST(MorseDecoderTest, JoiningMidLetterDropsThatLetterAndReadsTheNextPass) {
    Timeline timeline;
    timeline.play("ON AIR", false, 0.4, 2, 0.0);
    // 0.5 s in: inside the first dash of O; 1.4 s in: inside the gap after it.
    for (const double from : {0.5, 1.4}) {
        EXPECT_THAT(decode(timeline, from).texts, ElementsAre("N AIR", "ON AIR")) << from;
    }
}

TEST(MorseDecoderTest, ReadsMorseBetweenTheLightComingOnAndGoingOff) {
    Timeline timeline;
    timeline.add(2.0, 0.0);
    timeline.play("ON AIR", false, 0.4, 1, 0.02);
    timeline.add(1.0, 0.0);
    EXPECT_THAT(decode(timeline).texts, ElementsAre("ON AIR"));
}

TEST(MorseDecoderTest, BreathingAndSteadyLevelsAreNoMorse) {
    const Luminance breathing = [](double t) { return kNormal * breathingFactor(t); };
    const auto breathed = decode(breathing, 0.0, 40.0);
    EXPECT_TRUE(breathed.texts.empty());
    EXPECT_EQ(breathed.streamed, "");
    EXPECT_THAT(breathed.lights, ::testing::Contains(MorseDecoder::Light::changing));

    // The display's wiggle while steady.
    const Luminance steady = [](double t) { return std::fmod(t, 0.133) < 0.066 ? kNormal : kNormal * kNudge; };
    const auto still = decode(steady, 0.0, 20.0);
    EXPECT_EQ(still.streamed, "");
    EXPECT_THAT(still.lights, ElementsAre(MorseDecoder::Light::steady));
}

TEST(MorseDecoderTest, MorseRightAfterBreathingIsRead) {
    Timeline morse;
    morse.play("ON AIR", false, 0.4, 2, 0.02);
    const Luminance luminance = [&](double t) { return t < 16.0 ? kNormal * breathingFactor(t) : morse.at(t - 16.0); };
    const auto decoded = decode(luminance, 0.0, 16.0 + morse.length() + 5.0);
    ASSERT_FALSE(decoded.texts.empty());
    EXPECT_EQ(decoded.texts.back(), "ON AIR");
}

TEST(MorseDecoderTest, SamplesOutOfOrderOrNotNumbersAreIgnored) {
    MorseDecoder decoder;
    EXPECT_TRUE(decoder.sample(1.0, kNormal).empty());
    EXPECT_TRUE(decoder.sample(0.5, kBright).empty());
    EXPECT_TRUE(decoder.sample(2.0, std::nan("")).empty());
    EXPECT_TRUE(decoder.sample(INFINITY, kBright).empty());
    EXPECT_EQ(decoder.light(), MorseDecoder::Light::steady);
    EXPECT_FALSE(decoder.unit());
}

}  // namespace
}  // namespace lidora
