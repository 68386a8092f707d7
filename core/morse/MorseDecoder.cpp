#include "core/morse/MorseDecoder.h"

#include <algorithm>
#include <cmath>

namespace lidora {

namespace {

// Longer than any gap, so that the range spans a bright and a dark step.
constexpr double kRangeSeconds = 8.0;
// A level that took this many distinct values within a second is moving:
// Morse shows at most four (off, dark, the normal level, bright).
constexpr double kMovingWindow = 1.0;
constexpr std::size_t kMovingLevels = 5;
constexpr double kMovingHold = 1.5;
// The display's nudge moves a level by a few percent.
constexpr double kSameLevel = 1.04;
constexpr double kSameLevelNits = 0.05;
// A bright step is 13 times a dark one, still 3.7 times under a high floor.
constexpr double kLeastContrast = 1.8;
constexpr double kLeastSpread = 0.2;
// A change of class shorter than this is noise.
constexpr double kSettleSeconds = 0.06;
// The speeds run from 0.25 to 0.6 s a unit.
constexpr double kShortestUnit = 0.18;
constexpr double kLongestUnit = 0.8;
constexpr double kDotOrDash = 2.0;
// Runs up to this many shortest ones last one unit; two units are longer.
constexpr double kOneUnit = 1.5;
constexpr double kLongestDash = 4.5;

bool sameLevel(double a, double b) {
    return std::max(a, b) <= std::min(a, b) * kSameLevel + kSameLevelNits;
}

bool plausible(double unit) {
    return unit >= kShortestUnit && unit <= kLongestUnit;
}

char symbol(double seconds, double unit) {
    return seconds / unit < kDotOrDash ? '.' : '-';
}

// A marker is sent as a word of its own; within a word ".-.-." is "+".
std::string rendered(const std::string& code, bool alone) {
    if (alone && (code == MorseCode::kStartMarker || code == MorseCode::kEndMarker)) {
        return code;
    }
    if (const auto character = MorseCode::character(code)) {
        return std::string(*character);
    }
    return "[" + code + "]";
}

}  // namespace

MorseDecoder::MorseDecoder(MorseCode::Timing timing) : timing_(timing) {}

std::optional<double> MorseDecoder::unit() const {
    if (runs_.empty()) {
        return std::nullopt;
    }
    // The shortest run, averaged with the others of one unit, so that
    // jitter does not shrink it.
    const double shortest = std::min_element(runs_.begin(), runs_.end(), [](const Run& a, const Run& b) {
                                return a.seconds < b.seconds;
                            })->seconds;
    double sum = 0.0;
    int count = 0;
    for (const Run& run : runs_) {
        if (run.seconds <= shortest * kOneUnit) {
            sum += run.seconds;
            ++count;
        }
    }
    return sum / count;
}

std::vector<MorseDecoder::Heard> MorseDecoder::sample(double seconds, double luminance) {
    std::vector<Heard> heard;
    if (!std::isfinite(seconds) || !std::isfinite(luminance) ||
        (!samples_.empty() && seconds < samples_.back().first)) {
        return heard;
    }
    samples_.emplace_back(seconds, luminance);
    while (samples_.front().first < seconds - kRangeSeconds) {
        samples_.pop_front();
    }

    if (levelKeepsMoving(seconds)) {
        lastMoving_ = seconds;
    }
    if (lastMoving_ && seconds - *lastMoving_ < kMovingHold) {
        if (light_ != Light::changing) {
            forgetText();
            runBright_.reset();
            candidate_.reset();
        }
        light_ = Light::changing;
        return heard;
    }
    const auto bright = classify(luminance);
    if (!bright) {
        if (runBright_) {
            forgetText();
            runBright_.reset();
            candidate_.reset();
        }
        if (light_ != Light::steady || samples_.size() == 1) {
            steadySince_ = seconds;
        }
        light_ = Light::steady;
        return heard;
    }

    if (!runBright_) {
        // Reading begins. After a steady level the level before tells
        // whether this is a clean start or the middle of a letter.
        const auto before = light_ == Light::steady && samples_.size() >= 2
                                ? classify(samples_[samples_.size() - 2].second)
                                : std::nullopt;
        if (before && *before != *bright) {
            partialStart_ = *before;
            if (!*before) {
                lead_ = Lead{samples_[samples_.size() - 2].second, seconds - steadySince_};
            }
            startRun(*bright, seconds, false);
        } else {
            startRun(*bright, seconds, true);
        }
    } else if (*bright == *runBright_) {
        candidate_.reset();
    } else if (!candidate_ || candidate_->first != *bright) {
        candidate_.emplace(*bright, seconds);
    }
    if (candidate_ && seconds - candidate_->second >= kSettleSeconds) {
        const auto [nowBright, at] = *candidate_;
        candidate_.reset();
        endRun(at, heard);
        startRun(nowBright, at, false);
    }
    if (!*runBright_ && !runLeading_) {
        darkLevel_ = luminance;
    }
    if (!*runBright_ && !runLeading_ && !runSeparates_) {
        darkLasted((candidate_ ? candidate_->second : seconds) - runStart_, heard);
    }
    light_ = *runBright_ ? Light::bright : Light::dark;
    return heard;
}

std::optional<bool> MorseDecoder::classify(double luminance) const {
    const auto [low, high] = std::minmax_element(samples_.begin(), samples_.end(),
                                                 [](const auto& a, const auto& b) { return a.second < b.second; });
    const double least = low->second;
    const double most = high->second;
    if (most < least * kLeastContrast || most - least < kLeastSpread) {
        return std::nullopt;
    }
    return luminance > (least + most) / 2.0;
}

bool MorseDecoder::levelKeepsMoving(double now) const {
    std::vector<double> levels;
    for (auto it = samples_.rbegin(); it != samples_.rend() && it->first >= now - kMovingWindow; ++it) {
        levels.push_back(it->second);
    }
    std::sort(levels.begin(), levels.end());
    std::size_t distinct = 0;
    std::optional<double> last;
    for (const double level : levels) {
        if (!last || !sameLevel(level, *last)) {
            ++distinct;
            last = level;
        }
    }
    return distinct >= kMovingLevels;
}

void MorseDecoder::startRun(bool bright, double start, bool leading) {
    runBright_ = bright;
    runStart_ = start;
    runLeading_ = leading;
    // A dark run before the first symbol of a text gaps nothing.
    runSeparates_ = !bright && runs_.empty();
}

void MorseDecoder::endRun(double end, std::vector<Heard>& heard) {
    const double seconds = end - runStart_;
    if (runLeading_) {
        partialStart_ = *runBright_;
        return;
    }
    if (*runBright_) {
        if (seconds > kLongestDash * kLongestUnit) {
            forgetText();  // lit for long: no Morse
            return;
        }
        runs_.push_back({true, seconds});
        letter_.push_back(seconds);
        return;
    }
    if (runSeparates_) {
        return;
    }
    runs_.push_back({false, seconds});
    darkLasted(seconds, heard);
    if (unsent_) {
        emitLetter(false, heard);  // another letter of this word follows
    }
}

void MorseDecoder::darkLasted(double seconds, std::vector<Heard>& heard) {
    const auto estimate = unit();
    if (!estimate || !plausible(*estimate)) {
        if (seconds >= (timing_.wordGap + timing_.pause) / 2.0 * kLongestUnit) {
            forgetText();
            runSeparates_ = true;
        }
        return;
    }
    const double units = seconds / *estimate;
    if (!letter_.empty() && units >= (1.0 + timing_.letterGap) / 2.0) {
        closeLetter(*estimate);
    }
    if (unsent_ && units >= (timing_.letterGap + timing_.wordGap) / 2.0) {
        emitLetter(true, heard);
    }
    if (units >= (timing_.wordGap + timing_.pause) / 2.0) {
        if (auto text = reread(); !text.empty()) {
            heard.push_back({Heard::Kind::text, std::move(text)});
        }
        forgetText();
        runSeparates_ = true;
    }
}

void MorseDecoder::closeLetter(double unit) {
    std::string code;
    for (const double seconds : letter_) {
        code += symbol(seconds, unit);
    }
    letter_.clear();
    // A level like the gaps', seen for less than a pause, may have been a
    // gap inside this letter.
    if (lead_ && darkLevel_ && sameLevel(lead_->level, *darkLevel_) &&
        lead_->seconds < (timing_.wordGap + timing_.pause) / 2.0 * unit) {
        partialStart_ = true;
    }
    lead_.reset();
    if (partialStart_) {
        // Only the end of this letter was seen.
        partialStart_ = false;
        runs_.clear();
        return;
    }
    word_.push_back(code);
    unsent_ = std::move(code);
}

void MorseDecoder::emitLetter(bool endsWord, std::vector<Heard>& heard) {
    if (!wordStarted_ && textStarted_) {
        heard.push_back({Heard::Kind::space, {}});
    }
    heard.push_back({Heard::Kind::character, rendered(*unsent_, endsWord && word_.size() == 1)});
    unsent_.reset();
    wordStarted_ = true;
    textStarted_ = true;
    if (endsWord) {
        word_.clear();
        wordStarted_ = false;
    }
}

std::string MorseDecoder::reread() const {
    const auto estimate = unit();
    if (!estimate || !plausible(*estimate)) {
        return {};
    }
    std::vector<std::vector<std::string>> words(1);
    std::string code;
    const auto closeCode = [&] {
        if (!code.empty()) {
            words.back().push_back(std::move(code));
            code.clear();
        }
    };
    for (const Run& run : runs_) {
        if (run.bright) {
            code += symbol(run.seconds, *estimate);
            continue;
        }
        const double units = run.seconds / *estimate;
        if (units >= (1.0 + timing_.letterGap) / 2.0) {
            closeCode();
        }
        if (units >= (timing_.letterGap + timing_.wordGap) / 2.0 && !words.back().empty()) {
            words.emplace_back();
        }
    }
    closeCode();
    std::string text;
    for (const auto& word : words) {
        if (word.empty()) {
            continue;
        }
        if (!text.empty()) {
            text += ' ';
        }
        for (const auto& letter : word) {
            text += rendered(letter, word.size() == 1);
        }
    }
    return text;
}

void MorseDecoder::forgetText() {
    runs_.clear();
    letter_.clear();
    word_.clear();
    unsent_.reset();
    wordStarted_ = false;
    textStarted_ = false;
    partialStart_ = false;
    lead_.reset();
}

}  // namespace lidora
