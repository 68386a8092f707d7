#include "core/message/MessageModel.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "core/morse/MorseCode.h"
#include "core/text/Characters.h"

namespace lidora {

namespace {

constexpr std::string_view kEllipsis = "…";
constexpr std::string_view kMinusSign = "−";
constexpr std::string_view kMiddleDot = "·";
constexpr std::string_view kReplacement = "\xEF\xBF\xBD";
constexpr std::string_view kSendingPrefix = "Sending ";

std::string appendCodePoint(UChar32 codePoint) {
    std::string out(U8_MAX_LENGTH, '\0');
    std::size_t length = 0;
    U8_APPEND_UNSAFE(out.data(), length, codePoint);
    out.resize(length);
    return out;
}

// A lone control or format character (a bell, a bidi override) would be
// invisible or rearrange the line around it: it is shown by a stand-in.
std::string visibleCharacter(std::string character) {
    if (isWhitespace(character)) {
        return character;
    }
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(character.data());
    const auto length = static_cast<std::int32_t>(character.size());
    std::int32_t offset = 0;
    UChar32 codePoint = 0;
    U8_NEXT(bytes, offset, length, codePoint);
    if (offset != length || codePoint < 0) {
        return character;
    }
    const auto type = u_charType(codePoint);
    if (type == U_CONTROL_CHAR) {
        // The Control Pictures block has one for each C0 control and DEL.
        if (codePoint < 0x20) {
            return appendCodePoint(0x2400 + codePoint);
        }
        return codePoint == 0x7F ? appendCodePoint(0x2421) : std::string(kReplacement);
    }
    if (type == U_FORMAT_CHAR) {
        return std::string(kReplacement);
    }
    return character;
}

std::int64_t totalUnits(const std::vector<MorseCode::Step>& steps) {
    std::int64_t units = 0;
    for (const auto& step : steps) {
        units += step.units;
    }
    return units;
}

std::size_t upperCasedLength(const std::string& character) {
    if (character.size() == 1) {
        return 1;
    }
    return std::max<std::size_t>(1, characters(uppercased(character)).size());
}

std::string joined(const std::vector<std::string>& parts, std::size_t begin, std::size_t end) {
    std::string out;
    for (std::size_t i = begin; i < end; ++i) {
        out += visibleCharacter(parts[i]);
    }
    return out;
}

}  // namespace

std::string limitedMessage(std::string_view text) {
    const auto all = characters(text);
    if (all.size() <= kMessageLimit) {
        return std::string(text);
    }
    std::string out;
    for (std::size_t i = 0; i < kMessageLimit; ++i) {
        out += all[i];
    }
    return out;
}

std::string morseGlyphs(std::string_view code) {
    std::string out;
    out.reserve(code.size() * 2);
    for (const char symbol : code) {
        if (symbol == '-') {
            out += kMinusSign;
        } else if (symbol == '.') {
            out += kMiddleDot;
        } else {
            out += symbol;
        }
    }
    return out;
}

std::string durationLine(double seconds, bool longText) {
    // Keeps the rounded value within a 64-bit integer.
    constexpr double kLongest = 1e15;
    const double bounded = seconds >= 0 ? std::min(seconds, kLongest) : 0.0;
    const auto n = static_cast<std::int64_t>(std::round(bounded));
    std::string amount =
        n <= 59 ? std::to_string(n) + " s" : std::to_string(n / 60) + " min " + std::to_string(n % 60) + " s";
    std::string line = "Takes about " + amount + ".";
    if (longText) {
        line += " Shorter messages are easier to read.";
    }
    return line;
}

SentMessage::SentMessage(std::string text) : text_(std::move(text)), characters_(lidora::characters(text_)) {
    ends_.reserve(characters_.size());
    std::size_t counted = 0;
    for (const auto& character : characters_) {
        counted += upperCasedLength(character);
        ends_.push_back(counted);
    }
}

std::optional<std::size_t> SentMessage::index(std::optional<int> position) const {
    if (!position || *position < 0) {
        return std::nullopt;
    }
    const auto found = std::upper_bound(ends_.begin(), ends_.end(), static_cast<std::size_t>(*position));
    if (found == ends_.end()) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(found - ends_.begin());
}

SendingLine sendingLine(const SentMessage& message, std::optional<int> character, std::optional<int> anchor) {
    const auto& all = message.characters();
    const auto current = message.index(character);
    std::size_t begin = 0;
    std::size_t end = all.size();
    if (all.size() > kMessageLimit) {
        const std::size_t centre = current.value_or(message.index(anchor).value_or(0));
        begin = std::min(centre - std::min(centre, kMessageLimit / 2), all.size() - kMessageLimit);
        end = begin + kMessageLimit;
    }
    SendingLine line;
    line.accessibilityLabel = std::string(kSendingPrefix) + message.text();
    if (begin > 0) {
        line.before = kEllipsis;
    }
    if (current) {
        line.before += joined(all, begin, *current);
        line.current = visibleCharacter(all[*current]);
        line.after = joined(all, *current + 1, end);
    } else {
        line.before += joined(all, begin, end);
    }
    if (end < all.size()) {
        line.after += kEllipsis;
    }
    return line;
}

MessageViewState messageViewState(const MessageInputs& inputs) {
    MessageViewState state;
    state.text = inputs.text;
    state.speed = inputs.speed;
    state.markers = inputs.markers;
    state.bulbLit = inputs.isBright;
    state.subtitle = inputs.sending ? kSendingSubtitle : kIdleSubtitle;
    if (inputs.sending) {
        state.sending = sendingLine(*inputs.sending, inputs.sendingCharacter, inputs.sendingAnchor);
    }

    const auto timing = MessageSettings::timing(inputs.speed);
    state.preview = morseGlyphs(MorseCode::preview(inputs.text, inputs.markers));
    const auto steps = MorseCode::steps(inputs.text, timing, inputs.markers);
    const bool longText = characters(inputs.text).size() > kLongMessage;
    state.durationLine = durationLine(timing.unit * static_cast<double>(totalUnits(steps)), longText);
    state.durationOrange = longText;
    const auto skipped = MorseCode::skippedCharacters(inputs.text);
    if (!skipped.empty()) {
        state.skippedLine = std::string(kSkippedPrefix) + joined(skipped, 0, skipped.size());
    }

    state.problemLine = inputs.problem ? inputs.problem : inputs.blockingReason;
    // A message can go out only while nothing blocks the light; one on the
    // lid is stopped before another is sent.
    state.sendEnabled = !inputs.sending && !inputs.sendInFlight && !inputs.blockingReason;
    return state;
}

}  // namespace lidora
