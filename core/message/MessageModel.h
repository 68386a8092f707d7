#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/message/MessageSettings.h"

namespace lidora {

inline constexpr std::string_view kMessageWindowTitle = "Send a Message";
inline constexpr std::string_view kSendingSubtitle = "Sending on the lid…";
inline constexpr std::string_view kIdleSubtitle = "The logo on the lid sends it in Morse code.";
inline constexpr std::string_view kMessageHotKeyHint = "⇧⌘0";
inline constexpr std::string_view kMessageHotKeyHelp = "Open Send a Message from anywhere";
inline constexpr std::string_view kMessageFieldLabel = "Message";
inline constexpr std::string_view kMessagePlaceholder = "Type a message";
inline constexpr std::string_view kSpeedHelp =
    "Speed: Slow is easier to read; Pro is faster, for people who read Morse";
inline constexpr std::string_view kMarkersTitle = "Start and end markers";
inline constexpr std::string_view kMarkersHelp =
    "Sends −·−·− before the message and ·−·−· after it, so whoever reads it knows where it starts and ends.";
inline constexpr std::string_view kPreviewLabel = "Morse code preview";
inline constexpr std::string_view kSkippedPrefix = "Skipped (no Morse code): ";
inline constexpr std::string_view kStopTitle = "Stop";
inline constexpr std::string_view kCancelTitle = "Cancel";
inline constexpr std::string_view kSendTitle = "Send";

// The field holds at most this many characters (as a person counts them).
inline constexpr std::size_t kMessageLimit = 200;
// Past this many characters the duration line turns orange.
inline constexpr std::size_t kLongMessage = 40;

// The message on the lid, split around the character being flashed. A
// message longer than the field's limit shows an excerpt around it, with
// "…" where it is cut.
struct SendingLine {
    std::string before;
    std::string current;
    std::string after;
    std::string accessibilityLabel;
    friend bool operator==(const SendingLine&, const SendingLine&) = default;
};

// A message on the lid, split once into characters: it is drawn again at
// every step.
class SentMessage {
public:
    explicit SentMessage(std::string text);

    [[nodiscard]] const std::string& text() const { return text_; }
    [[nodiscard]] const std::vector<std::string>& characters() const { return characters_; }
    // The index of the character at `position` of the upper-cased text, in
    // which ß is two.
    [[nodiscard]] std::optional<std::size_t> index(std::optional<int> position) const;

private:
    std::string text_;
    std::vector<std::string> characters_;
    // Upper-cased characters up to and including each character.
    std::vector<std::size_t> ends_;
};

struct MessageInputs {
    // The typed text, already within kMessageLimit.
    std::string text;
    MessageSettings::Speed speed = MessageSettings::Speed::normal;
    bool markers = true;
    // From the shared message state.
    std::shared_ptr<const SentMessage> sending;
    std::optional<int> sendingCharacter;
    // The last character shown of this message, which keeps the excerpt of
    // a long one in place between characters.
    std::optional<int> sendingAnchor;
    bool isBright = false;
    std::optional<std::string> problem;
    // Why the light can't be switched at all (the light controller's).
    std::optional<std::string> blockingReason;
    // A send asked for and not answered yet.
    bool sendInFlight = false;
};

struct MessageViewState {
    std::string text;
    std::string subtitle;
    bool bulbLit = false;
    // Present while a message is on the lid: the field gives way to it and
    // Cancel to Stop.
    std::optional<SendingLine> sending;
    MessageSettings::Speed speed = MessageSettings::Speed::normal;
    bool markers = true;
    std::string preview;
    std::string durationLine;
    bool durationOrange = false;
    std::optional<std::string> skippedLine;
    std::optional<std::string> problemLine;
    bool sendEnabled = false;
    friend bool operator==(const MessageViewState&, const MessageViewState&) = default;
};

MessageViewState messageViewState(const MessageInputs& inputs);

// The first kMessageLimit characters of a text.
std::string limitedMessage(std::string_view text);

// Dashes as minus signs and dots as middle dots, as a reader writes them.
std::string morseGlyphs(std::string_view code);

// "Takes about 1 min 15 s." for the seconds of a whole sending, with advice
// to shorten a long text.
std::string durationLine(double seconds, bool longText);

SendingLine sendingLine(const SentMessage& message, std::optional<int> character, std::optional<int> anchor);

}  // namespace lidora
