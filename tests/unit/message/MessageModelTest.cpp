#include <gtest/gtest.h>

#include <cmath>

#include "core/message/MessageModel.h"
#include "tests/support/MemoryDefaults.h"

namespace lidora::testing {
namespace {

using MessageSettings::Speed;

std::string repeated(std::string_view piece, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) {
        out += piece;
    }
    return out;
}

MessageInputs typed(std::string text, Speed speed = Speed::normal, bool markers = false) {
    MessageInputs in;
    in.text = std::move(text);
    in.speed = speed;
    in.markers = markers;
    return in;
}

MessageInputs onTheLid(std::string text, std::optional<int> character, std::optional<int> anchor = std::nullopt) {
    MessageInputs in;
    in.sending = std::make_shared<const SentMessage>(std::move(text));
    in.sendingCharacter = character;
    in.sendingAnchor = anchor;
    in.isBright = character.has_value();
    return in;
}

MessageInputs withProblem(std::optional<std::string> problem, std::optional<std::string> blocking) {
    MessageInputs in;
    in.problem = std::move(problem);
    in.blockingReason = std::move(blocking);
    return in;
}

struct Row {
    const char* name;
    MessageInputs in;
    // Expected; preview and duration are not checked when null.
    const char* preview;
    const char* duration;
    bool orange;
    const char* skipped;  // null: no line
    const char* problem;  // null: no line
    bool sendEnabled;
    std::optional<SendingLine> sending;
};

SendingLine line(std::string before, std::string current, std::string after, const std::string& text) {
    return SendingLine{std::move(before), std::move(current), std::move(after), "Sending " + text};
}

std::optional<std::string> text(const char* value) {
    return value == nullptr ? std::nullopt : std::optional<std::string>(value);
}

TEST(MessageModel, WhatTheWindowShows) {
    const char* const nothing = "There's nothing in that message that Morse code can send.";
    const char* const approve = "Lidora needs its helper approved first.";
    const std::string a1000 = repeated("A", 1000);
    const std::optional<SendingLine> none;
    auto inFlight = typed("hi");
    inFlight.sendInFlight = true;
    const Row rows[] = {
        {"nothing typed", typed(""), "", "Takes about 0 s.", false, nullptr, nullptr, true, none},
        // 15 + 4 + (5 + 2 + 11 + 2 + 5) + 4 + 13 + 5 units at 0.4 s.
        {"SOS with markers", typed("SOS", Speed::normal, true), "−·−·− / ··· −−− ··· / ·−·−·", "Takes about 26 s.",
         false, nullptr, nullptr, true, none},
        // 30 units at 0.25 s: 7.5 rounds away from zero.
        {"sos at pro speed", typed("sos", Speed::pro), "··· −−− ···", "Takes about 8 s.", false, nullptr, nullptr, true,
         none},
        {"sos now, slow, markers", typed("sos now", Speed::slow, true), "−·−·− / ··· −−− ··· / −· −−− ·−− / ·−·−·",
         nullptr, false, nullptr, nullptr, true, none},
        // 40 + 39 × 2 + 5 units at 0.4 s.
        {"40 characters", typed(repeated("E", 40)), nullptr, "Takes about 49 s.", false, nullptr, nullptr, true, none},
        {"41 characters", typed(repeated("E", 41)), nullptr, "Takes about 50 s. Shorter messages are easier to read.",
         true, nullptr, nullptr, true, none},
        {"41 emoji with skin tones, one character each", typed(repeated("👍🏽", 41)), "",
         "Takes about 0 s. Shorter messages are easier to read.", true, "Skipped (no Morse code): 👍🏽", nullptr,
         true, none},
        {"skipped in order, once", typed("Café é #%#"), "−·−· ·− ··−·", nullptr, false, "Skipped (no Morse code): É#%",
         nullptr, true, none},
        {"control characters", typed("A\aB\tC\x1b\x7f\u202e"), "·− −··· / −·−·", nullptr, false,
         "Skipped (no Morse code): ␇␛␡\xEF\xBF\xBD", nullptr, true, none},
        {"sending", onTheLid("Hello", 2), nullptr, nullptr, false, nullptr, nullptr, false,
         line("He", "l", "lo", "Hello")},
        {"between characters", onTheLid("Hello", std::nullopt, 2), nullptr, nullptr, false, nullptr, nullptr, false,
         line("Hello", "", "", "Hello")},
        {"ß sends as two letters", onTheLid("ßa", 2), nullptr, nullptr, false, nullptr, nullptr, false,
         line("ß", "a", "", "ßa")},
        {"first half of ß", onTheLid("ßa", 1), nullptr, nullptr, false, nullptr, nullptr, false,
         line("", "ß", "a", "ßa")},
        {"bell on the lid", onTheLid("A\aB", 2), nullptr, nullptr, false, nullptr, nullptr, false,
         line("A␇", "B", "", "A\aB")},
        {"long message, excerpt", onTheLid(a1000, 500), nullptr, nullptr, false, nullptr, nullptr, false,
         line("…" + repeated("A", 100), "A", repeated("A", 99) + "…", a1000)},
        {"long message, kept between characters", onTheLid(a1000, std::nullopt, 990), nullptr, nullptr, false, nullptr,
         nullptr, false, line("…" + repeated("A", 200), "", "", a1000)},
        {"watcher's problem first", withProblem(nothing, approve), nullptr, nullptr, false, nullptr, nothing, false,
         none},
        {"blocked", withProblem(std::nullopt, approve), nullptr, nullptr, false, nullptr, approve, false, none},
        {"problem, not blocked", withProblem(nothing, std::nullopt), nullptr, nullptr, false, nullptr, nothing, true,
         none},
        {"send in flight", inFlight, nullptr, nullptr, false, nullptr, nullptr, false, none},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto state = messageViewState(row.in);
        if (row.preview != nullptr) {
            EXPECT_EQ(state.preview, row.preview);
        }
        if (row.duration != nullptr) {
            EXPECT_EQ(state.durationLine, row.duration);
        }
        EXPECT_EQ(state.durationOrange, row.orange);
        EXPECT_EQ(state.skippedLine, text(row.skipped));
        EXPECT_EQ(state.problemLine, text(row.problem));
        EXPECT_EQ(state.sendEnabled, row.sendEnabled);
        EXPECT_EQ(state.sending, row.sending);
        EXPECT_EQ(state.subtitle, row.in.sending ? kSendingSubtitle : kIdleSubtitle);
        EXPECT_EQ(state.bulbLit, row.in.isBright);
    }
}

TEST(MessageModel, DurationLineAndFieldLimit) {
    const std::pair<double, const char*> durations[] = {
        {59.4, "Takes about 59 s."},         {59.5, "Takes about 1 min 0 s."},   {75, "Takes about 1 min 15 s."},
        {3599.6, "Takes about 60 min 0 s."}, {std::nan(""), "Takes about 0 s."},
    };
    for (const auto& [seconds, line] : durations) {
        EXPECT_EQ(durationLine(seconds, false), line) << seconds;
    }

    const std::pair<std::string, std::string> limits[] = {
        {repeated("b", 250), repeated("b", 200)},
        {repeated("xyz ", 2500), repeated("xyz ", 50)},
        {repeated("👍🏽", 201), repeated("👍🏽", 200)},
        {repeated("e\u0301", 300), repeated("e\u0301", 200)},
    };
    for (const auto& [pasted, kept] : limits) {
        EXPECT_EQ(limitedMessage(pasted), kept) << pasted.size();
    }
}

TEST(MessageSettings, StoredValuesReadSafely) {
    MemoryDefaults defaults;
    const std::pair<std::optional<PreferenceValue>, Speed> speeds[] = {
        {std::nullopt, Speed::normal},
        {"slow", Speed::slow},
        {"pro", Speed::pro},
        {"Pro", Speed::normal},
        {"\xff\xfe", Speed::normal},
        {PreferenceValue(2), Speed::normal},
        {PreferenceArray{"slow"}, Speed::normal},
    };
    for (const auto& [stored, speed] : speeds) {
        defaults.values.clear();
        if (stored) {
            defaults.values.emplace(MessageSettings::kSpeedKey, *stored);
        }
        EXPECT_EQ(MessageSettings::speed(defaults), speed);
    }
    const std::pair<std::optional<PreferenceValue>, bool> markers[] = {
        {std::nullopt, true},           {false, false}, {PreferenceValue(0), false}, {"maybe", true},
        {PreferenceDictionary{}, true},
    };
    for (const auto& [stored, on] : markers) {
        defaults.values.clear();
        if (stored) {
            defaults.values.emplace(MessageSettings::kMarkersKey, *stored);
        }
        EXPECT_EQ(MessageSettings::markers(defaults), on);
    }
    ASSERT_TRUE(MessageSettings::setSpeed(defaults, Speed::pro).has_value());
    EXPECT_EQ(MessageSettings::speed(defaults), Speed::pro);
}

}  // namespace
}  // namespace lidora::testing
