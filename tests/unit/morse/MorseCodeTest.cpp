#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/morse/MorseCode.h"

namespace lidora {
namespace {

using MorseCode::Step;
using ::testing::ElementsAre;

constexpr MorseCode::Timing kTiming{0.4, 2, 4, 5};

Step on(int units, int position) {
    return Step{true, units, position};
}
Step marker(int units) {
    return Step{true, units, std::nullopt};
}
Step dark(int units) {
    return Step{false, units, std::nullopt};
}

// The positions of the characters sent, each once, in order.
std::vector<int> sentPositions(const std::vector<Step>& steps) {
    std::vector<int> out;
    for (const auto& step : steps) {
        if (step.character && (out.empty() || out.back() != *step.character)) {
            out.push_back(*step.character);
        }
    }
    return out;
}

TEST(MorseCodeTest, OnAirStepsAndDuration) {
    const auto steps = MorseCode::steps("ON AIR", kTiming, false);
    EXPECT_EQ(steps, (std::vector<Step>{on(3, 0), dark(1), on(3, 0), dark(1), on(3, 0), dark(2),  // O
                                        on(3, 1), dark(1), on(1, 1), dark(4),                     // N
                                        on(1, 3), dark(1), on(3, 3), dark(2),                     // A
                                        on(1, 4), dark(1), on(1, 4), dark(2),                     // I
                                        on(1, 5), dark(1), on(3, 5), dark(1), on(1, 5), dark(5)}));
    EXPECT_NEAR(MorseCode::duration(steps, 0.4), 16.4, 1e-9);
    EXPECT_EQ(MorseCode::steps("E", kTiming, true),
              (std::vector<Step>{marker(3), dark(1), marker(1), dark(1), marker(3), dark(1), marker(1), dark(1),
                                 marker(3), dark(4), on(1, 0),  dark(4), marker(1), dark(1), marker(3), dark(1),
                                 marker(1), dark(1), marker(3), dark(1), marker(1), dark(5)}));
}

// Positions count user-perceived characters of the upper-cased text,
// white space and unsendable ones included.
TEST(MorseCodeTest, PositionsCountCharactersOfTheUppercasedText) {
    const std::vector<std::pair<std::string, std::vector<int>>> cases{
        {"hi", {0, 1}},
        {"a  b", {0, 3}},
        {"a\t\nb", {0, 3}},
        {"\r\nb", {1}},                                         // CR LF is one character
        {"ß!", {0, 1, 2}},                                      // becomes SS!
        {"\uFB01", {0, 1}},                                     // the ligature fi becomes FI
        {"\u0131", {0}},                                        // dotless i becomes I
        {"e\u0301a", {1}},                                      // E with a combining acute is one character
        {"\U0001F44D\U0001F3FDa", {1}},                         // thumbs up with a skin tone
        {"\U0001F468\u200D\U0001F469\u200D\U0001F467 e", {2}},  // a ZWJ family
        {"\u212A", {0}},                                        // the Kelvin sign is canonically K
        {"\u041C\u0438\u0440 x", {4}},                          // Cyrillic has no code here
        {std::string("a\0b", 3), {0, 2}},                       // a NUL is skipped, not an end
        {"\xC3(", {1}},                                         // an invalid byte is one character
    };
    for (const auto& [text, positions] : cases) {
        EXPECT_EQ(sentPositions(MorseCode::steps(text, kTiming, false)), positions) << text;
    }
    // Two spaces make one word gap.
    EXPECT_THAT(MorseCode::steps("a  b", kTiming, false),
                ElementsAre(on(1, 0), dark(1), on(3, 0), dark(4), on(3, 3), dark(1), on(1, 3), dark(1), on(1, 3),
                            dark(1), on(1, 3), dark(5)));
}

TEST(MorseCodeTest, SkippedCharactersOncePerCanonicalCharacter) {
    const std::vector<std::pair<std::string, std::vector<std::string>>> cases{
        {"Café", {"É"}},
        {"#%", {"#", "%"}},
        {"e\u0301 \u00C9", {"E\u0301"}},  // decomposed and precomposed É are one character
        {"\U0001F44D\U0001F3FD\U0001F44D\U0001F3FD\U0001F44D", {"\U0001F44D\U0001F3FD", "\U0001F44D"}},
        {"\u65E5\u672C", {"\u65E5", "\u672C"}},
        {"stra\u00DFe", {}},
        {"a\x07 b\x07", {"\x07"}},
        {"\xFF\xFE"
         "A",
         {"\xEF\xBF\xBD"}},       // invalid bytes read as U+FFFD
        {" \u00A0\u2003\n", {}},  // all white space
        {"", {}},
    };
    for (const auto& [text, skipped] : cases) {
        EXPECT_EQ(MorseCode::skippedCharacters(text), skipped) << text;
    }
}

TEST(MorseCodeTest, Previews) {
    const std::vector<std::tuple<std::string, bool, std::string>> cases{
        {"sos now", true, "-.-.- / ... --- ... / -. --- .-- / .-.-."},
        {"Café", false, "-.-. .- ..-."},
        {"a # b", false, ".- / -..."},
        {"#%", true, ""},
        {"   ", false, ""},
        {"?!\"", false, "..--.. -.-.-- .-..-."},
    };
    for (const auto& [text, markers, preview] : cases) {
        EXPECT_EQ(MorseCode::preview(text, markers), preview) << text;
    }
}

TEST(MorseCodeTest, GapsBelowOneUnitAddNoDarkStep) {
    EXPECT_EQ(MorseCode::steps("ab", MorseCode::Timing{0.4, 0, -3, 0}, false),
              (std::vector<Step>{on(1, 0), dark(1), on(3, 0), on(3, 1), dark(1), on(1, 1), dark(1), on(1, 1), dark(1),
                                 on(1, 1)}));
    // Nothing sendable: no steps, with or without markers, and no time.
    EXPECT_TRUE(MorseCode::steps("#% \n\u65E5", kTiming, true).empty());
    EXPECT_EQ(MorseCode::duration({}, 0.4), 0.0);
}

TEST(MorseCodeTest, LongMessageIsSentWhole) {
    std::string text;
    for (int i = 0; i < 2500; ++i) {
        text += "sos ";
    }
    const auto steps = MorseCode::steps(text, kTiming, false);
    // A word is 15 symbol steps and 2 letter gaps; words are apart by one gap.
    EXPECT_EQ(steps.size(), 2500U * 17 + 2499 + 1);
    EXPECT_EQ(sentPositions(steps).back(), 9998);
    EXPECT_EQ(MorseCode::preview(text, false).size(), 2500U * 11 + 2499 * 3);
}

TEST(MorseCodeTest, DurationTexts) {
    const std::vector<std::pair<double, std::string>> cases{
        {0.4, "about 0 seconds"},   {1.4, "about a second"},
        {59.4, "about 59 seconds"}, {60, "about a minute"},
        {89, "about a minute"},     {90, "about 2 minutes"},
        {-3, "about 0 seconds"},    {std::nan(""), "about 0 seconds"},
    };
    for (const auto& [seconds, text] : cases) {
        EXPECT_EQ(MorseCode::durationText(seconds), text) << seconds;
    }
}

}  // namespace
}  // namespace lidora
