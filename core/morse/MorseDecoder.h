#pragma once

#include <deque>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/morse/MorseCode.h"

namespace lidora {

// Reads Morse code back from the luminance of a light, sampled over time.
// A sample is bright above the middle of the recent range and dark below
// it; the unit is the shortest run of the text (a dot, or the gap inside a
// letter); dots and dashes are 1 and 3 units and the gaps are told apart by
// the timing's gap counts. A level that keeps moving (breathing) is never
// read as Morse. Characters come as they complete, read with the unit known
// so far; the whole text comes at each pause, read again with the unit of
// the whole text. The markers show as their codes, other codes without a
// character in brackets. No clock of its own: a pure function of the samples.
class MorseDecoder {
public:
    enum class Light { steady, bright, dark, changing };

    struct Heard {
        enum class Kind { character, space, text };
        Kind kind = Kind::character;
        std::string value;  // empty for a space

        friend bool operator==(const Heard&, const Heard&) = default;
    };

    // Only the gap counts of the timing matter; the unit is measured.
    explicit MorseDecoder(MorseCode::Timing timing = MorseCode::kOnAirTiming);

    // Samples come in time order (seconds on any steady clock); an earlier
    // one than the last is ignored. Returns what this sample completed.
    std::vector<Heard> sample(double seconds, double luminance);

    [[nodiscard]] Light light() const { return light_; }
    // The unit the text being read shows so far.
    [[nodiscard]] std::optional<double> unit() const;

private:
    struct Run {
        bool bright = false;
        double seconds = 0.0;
    };

    [[nodiscard]] std::optional<bool> classify(double luminance) const;
    [[nodiscard]] bool levelKeepsMoving(double now) const;
    void startRun(bool bright, double start, bool leading);
    void endRun(double end, std::vector<Heard>& heard);
    void darkLasted(double seconds, std::vector<Heard>& heard);
    void closeLetter(double unit);
    void emitLetter(bool endsWord, std::vector<Heard>& heard);
    // The whole text again, with the unit of all its runs.
    [[nodiscard]] std::string reread() const;
    void forgetText();

    MorseCode::Timing timing_;
    std::deque<std::pair<double, double>> samples_;  // (seconds, luminance), the recent range
    std::optional<double> lastMoving_;
    Light light_ = Light::steady;

    // The run of one class being measured; absent while steady or moving.
    std::optional<bool> runBright_;
    double runStart_ = 0.0;
    bool runLeading_ = false;                           // began before it could be seen
    bool runSeparates_ = false;                         // a pause already ended the text
    std::optional<std::pair<bool, double>> candidate_;  // a change of class not yet settled

    // The text being read.
    std::vector<Run> runs_;
    std::vector<double> letter_;         // bright runs of the letter being read
    std::vector<std::string> word_;      // codes of the word being read
    std::optional<std::string> unsent_;  // a letter read but not yet given out
    bool wordStarted_ = false;           // a letter of this word was given out
    bool textStarted_ = false;           // a letter of this text was given out
    bool partialStart_ = false;          // reading began inside a letter, which is dropped
    // The level before reading began, and how long it was seen.
    struct Lead {
        double level = 0.0;
        double seconds = 0.0;
    };
    std::optional<Lead> lead_;
    std::optional<double> darkLevel_;
    double steadySince_ = 0.0;
};

}  // namespace lidora
