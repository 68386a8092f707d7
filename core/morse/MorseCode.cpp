#include "core/morse/MorseCode.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "core/text/Characters.h"

namespace lidora::MorseCode {

namespace {

// International Morse Code (ITU-R M.1677-1), plus "!", "&", ";", "_" and "$",
// which it lacks, with the codes in common use.
constexpr std::pair<std::string_view, std::string_view> kCodes[] = {
    {"A", ".-"},     {"B", "-..."},   {"C", "-.-."},   {"D", "-.."},     {"E", "."},       {"F", "..-."},
    {"G", "--."},    {"H", "...."},   {"I", ".."},     {"J", ".---"},    {"K", "-.-"},     {"L", ".-.."},
    {"M", "--"},     {"N", "-."},     {"O", "---"},    {"P", ".--."},    {"Q", "--.-"},    {"R", ".-."},
    {"S", "..."},    {"T", "-"},      {"U", "..-"},    {"V", "...-"},    {"W", ".--"},     {"X", "-..-"},
    {"Y", "-.--"},   {"Z", "--.."},   {"0", "-----"},  {"1", ".----"},   {"2", "..---"},   {"3", "...--"},
    {"4", "....-"},  {"5", "....."},  {"6", "-...."},  {"7", "--..."},   {"8", "---.."},   {"9", "----."},
    {".", ".-.-.-"}, {",", "--..--"}, {"?", "..--.."}, {"'", ".----."},  {"!", "-.-.--"},  {";", "-.-.-."},
    {"/", "-..-."},  {"(", "-.--."},  {")", "-.--.-"}, {"&", ".-..."},   {":", "---..."},  {"=", "-...-"},
    {"+", ".-.-."},  {"-", "-....-"}, {"_", "..--.-"}, {"\"", ".-..-."}, {"$", "...-..-"}, {"@", ".--.-."},
};

const std::unordered_map<std::string_view, std::string_view>& table() {
    static const std::unordered_map<std::string_view, std::string_view> built(std::begin(kCodes), std::end(kCodes));
    return built;
}

struct Letter {
    int position;
    std::string_view code;
};
using Word = std::vector<Letter>;

// Runs of white space count once; unsendable characters are dropped but
// keep their positions.
std::vector<Word> words(std::string_view text) {
    std::vector<Word> out(1);
    int position = 0;
    for (const std::string& character : characters(uppercased(text))) {
        if (isWhitespace(character)) {
            if (!out.back().empty()) {
                out.emplace_back();
            }
        } else if (const auto found = code(character)) {
            out.back().push_back(Letter{position, *found});
        }
        ++position;
    }
    std::erase_if(out, [](const Word& word) { return word.empty(); });
    return out;
}

// Two dark steps never follow each other: a gap lengthens a dark step.
void addGap(std::vector<Step>& steps, int units) {
    if (units < 1) {
        return;
    }
    if (!steps.empty() && !steps.back().on) {
        steps.back().units += units;
    } else {
        steps.push_back(Step{false, units, std::nullopt});
    }
}

void addCode(std::vector<Step>& steps, std::string_view code, std::optional<int> position) {
    for (std::size_t i = 0; i < code.size(); ++i) {
        if (i > 0) {
            addGap(steps, 1);
        }
        steps.push_back(Step{true, code[i] == '.' ? 1 : 3, position});
    }
}

std::string joined(const std::vector<std::string>& parts, std::string_view separator) {
    std::string out;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) {
            out.append(separator);
        }
        out.append(parts[i]);
    }
    return out;
}

}  // namespace

std::optional<std::string_view> code(std::string_view character) {
    const auto& codes = table();
    if (const auto found = codes.find(character); found != codes.end()) {
        return found->second;
    }
    // Every key is one ASCII byte; only a longer character can be canonically
    // equal to one (the Kelvin sign is K, the Greek question mark is ";").
    if (character.size() < 2) {
        return std::nullopt;
    }
    const std::string canonical = canonicalForm(character);
    if (const auto found = codes.find(canonical); found != codes.end()) {
        return found->second;
    }
    return std::nullopt;
}

std::optional<std::string_view> character(std::string_view code) {
    for (const auto& [letter, letterCode] : kCodes) {
        if (letterCode == code) {
            return letter;
        }
    }
    return std::nullopt;
}

std::vector<Step> steps(std::string_view text, const Timing& timing, bool markers) {
    const std::vector<Word> split = words(text);
    if (split.empty()) {
        return {};
    }
    std::vector<Step> out;
    if (markers) {
        addCode(out, kStartMarker, std::nullopt);
        addGap(out, timing.wordGap);
    }
    for (std::size_t w = 0; w < split.size(); ++w) {
        if (w > 0) {
            addGap(out, timing.wordGap);
        }
        for (std::size_t l = 0; l < split[w].size(); ++l) {
            if (l > 0) {
                addGap(out, timing.letterGap);
            }
            addCode(out, split[w][l].code, split[w][l].position);
        }
    }
    if (markers) {
        addGap(out, timing.wordGap);
        addCode(out, kEndMarker, std::nullopt);
    }
    addGap(out, timing.pause);
    return out;
}

std::vector<std::string> skippedCharacters(std::string_view text) {
    std::vector<std::string> out;
    std::unordered_set<std::string> seen;
    for (std::string& character : characters(uppercased(text))) {
        if (isWhitespace(character) || code(character)) {
            continue;
        }
        if (seen.insert(canonicalForm(character)).second) {
            out.push_back(std::move(character));
        }
    }
    return out;
}

std::string preview(std::string_view text, bool markers) {
    std::vector<std::string> pieces;
    for (const Word& word : words(text)) {
        std::vector<std::string> codes;
        codes.reserve(word.size());
        for (const Letter& letter : word) {
            codes.emplace_back(letter.code);
        }
        pieces.push_back(joined(codes, " "));
    }
    if (pieces.empty()) {
        return {};
    }
    if (markers) {
        pieces.insert(pieces.begin(), std::string(kStartMarker));
        pieces.emplace_back(kEndMarker);
    }
    return joined(pieces, " / ");
}

double duration(const std::vector<Step>& steps, double unit) {
    std::int64_t units = 0;
    for (const Step& step : steps) {
        units += step.units;
    }
    if (!steps.empty() && !steps.back().on) {
        units -= steps.back().units;
    }
    return static_cast<double>(units) * unit;
}

std::string durationText(double seconds) {
    // Keeps the rounded values within a 64-bit integer.
    constexpr double kLongest = 1e15;
    if (!(seconds >= 0)) {
        seconds = 0;
    }
    const auto n = static_cast<std::int64_t>(std::round(std::min(seconds, kLongest)));
    if (n > 59) {
        const auto minutes = static_cast<std::int64_t>(std::round(static_cast<double>(n) / 60.0));
        return minutes == 1 ? "about a minute" : "about " + std::to_string(minutes) + " minutes";
    }
    return n == 1 ? "about a second" : "about " + std::to_string(n) + " seconds";
}

}  // namespace lidora::MorseCode
