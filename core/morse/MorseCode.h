#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lidora::MorseCode {

// Gaps are shorter than the textbook 3 and 7 units: on a lid logo the longer
// ones read as the end of the message.
struct Timing {
    double unit = 0.4;  // seconds
    int letterGap = 2;
    int wordGap = 4;  // also between a marker and the message
    int pause = 5;    // after the message, before it starts again

    friend bool operator==(const Timing&, const Timing&) = default;
};

inline constexpr Timing kOnAirTiming{0.4, 2, 4, 5};
inline constexpr std::string_view kOnAirText = "ON AIR";

struct Step {
    bool on = false;
    int units = 1;
    // Of a bright step of a message character: its position among the
    // user-perceived characters of the upper-cased text, white space and
    // unsendable characters counted.
    std::optional<int> character;

    friend bool operator==(const Step&, const Step&) = default;
};

inline constexpr std::string_view kStartMarker = "-.-.-";
inline constexpr std::string_view kEndMarker = ".-.-.";

// The code of one upper-case character ("A" → ".-"), or absent when it has none.
std::optional<std::string_view> code(std::string_view character);
// The character a code stands for (".-" → "A"), or absent when none does.
std::optional<std::string_view> character(std::string_view code);

// The light steps of a text: bright steps for its symbols, dark gaps merged,
// ending with a dark pause. Empty when nothing in the text can be sent (also
// for a text past kMaxCharactersInput). Invalid UTF-8 reads as U+FFFD, which
// has no code.
// Only the gaps of the timing matter; a gap below 1 unit adds nothing.
std::vector<Step> steps(std::string_view text, const Timing& timing, bool markers);

// The characters that will not be sent, upper-cased, each once, in order of
// first appearance.
std::vector<std::string> skippedCharacters(std::string_view text);

// The codes as text: letters apart by a space, words by " / ".
std::string preview(std::string_view text, bool markers);

// Seconds one sending takes, without the final pause.
double duration(const std::vector<Step>& steps, double unit);

// "about a minute", "about 12 seconds"; a duration that is not a number or
// is negative reads as 0 seconds.
std::string durationText(double seconds);

}  // namespace lidora::MorseCode
