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
    in.sendingText = std::move(text);
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

const std::string kNothing = "There's nothing in that message that Morse code can send.";
const std::string kApprove = "Lidora needs its helper approved first.";

// Preview and duration are checked when given; the rest always.
struct Expect {
    std::optional<std::string> preview_;
    std::optional<std::string> duration_;
    bool orange_ = false;
    std::optional<std::string> skipped_;
    std::optional<std::string> problem_;
    bool sendEnabled_ = true;
    std::optional<SendingLine> sending_;

    Expect preview(std::string v) {
        preview_ = std::move(v);
        return *this;
    }
    Expect duration(std::string v) {
        duration_ = std::move(v);
        return *this;
    }
    Expect orange() {
        orange_ = true;
        return *this;
    }
    Expect skipped(std::string v) {
        skipped_ = std::move(v);
        return *this;
    }
    Expect problem(std::string v) {
        problem_ = std::move(v);
        return *this;
    }
    Expect sendDisabled() {
        sendEnabled_ = false;
        return *this;
    }
    // A message on the lid: Send waits for Stop.
    Expect sending(SendingLine v) {
        sending_ = std::move(v);
        sendEnabled_ = false;
        return *this;
    }
};

struct Row {
    const char* name;
    MessageInputs in;
    Expect want;
};

SendingLine line(std::string before, std::string current, std::string after, const std::string& text) {
    return SendingLine{std::move(before), std::move(current), std::move(after), "Sending " + text};
}

TEST(MessageModel, WhatTheWindowShows) {
    const std::string a1000 = repeated("A", 1000);
    const Row rows[] = {
        {"nothing typed", typed(""), Expect{}.preview("").duration("Takes about 0 s.")},
        // 15 + 4 + (5 + 2 + 11 + 2 + 5) + 4 + 13 + 5 units at 0.4 s.
        {"SOS with markers", typed("SOS", Speed::normal, true),
         Expect{}.preview("−·−·− / ··· −−− ··· / ·−·−·").duration("Takes about 26 s.")},
        // 30 units at 0.25 s: 7.5 rounds away from zero.
        {"sos at pro speed", typed("sos", Speed::pro), Expect{}.preview("··· −−− ···").duration("Takes about 8 s.")},
        {"sos now, slow, markers", typed("sos now", Speed::slow, true),
         Expect{}.preview("−·−·− / ··· −−− ··· / −· −−− ·−− / ·−·−·")},
        // 40 + 39 × 2 + 5 units at 0.4 s.
        {"40 characters", typed(repeated("E", 40)), Expect{}.duration("Takes about 49 s.")},
        {"41 characters", typed(repeated("E", 41)),
         Expect{}.duration("Takes about 50 s. Shorter messages are easier to read.").orange()},
        {"41 emoji with skin tones, one character each", typed(repeated("👍🏽", 41)),
         Expect{}
             .preview("")
             .duration("Takes about 0 s. Shorter messages are easier to read.")
             .orange()
             .skipped("Skipped (no Morse code): 👍🏽")},
        {"skipped in order, once", typed("Café é #%#"),
         Expect{}.preview("−·−· ·− ··−·").skipped("Skipped (no Morse code): É#%")},
        {"control characters", typed("A\aB\tC\x1b\x7f\u202e"),
         Expect{}.preview("·− −··· / −·−·").skipped("Skipped (no Morse code): ␇␛␡\xEF\xBF\xBD")},
        {"sending", onTheLid("Hello", 2), Expect{}.sending(line("He", "l", "lo", "Hello"))},
        {"between characters", onTheLid("Hello", std::nullopt, 2), Expect{}.sending(line("Hello", "", "", "Hello"))},
        {"ß sends as two letters", onTheLid("ßa", 2), Expect{}.sending(line("ß", "a", "", "ßa"))},
        {"first half of ß", onTheLid("ßa", 1), Expect{}.sending(line("", "ß", "a", "ßa"))},
        {"bell on the lid", onTheLid("A\aB", 2), Expect{}.sending(line("A␇", "B", "", "A\aB"))},
        {"long message, excerpt", onTheLid(a1000, 500),
         Expect{}.sending(line("…" + repeated("A", 100), "A", repeated("A", 99) + "…", a1000))},
        {"long message, kept between characters", onTheLid(a1000, std::nullopt, 990),
         Expect{}.sending(line("…" + repeated("A", 200), "", "", a1000))},
        {"watcher's problem first", withProblem(kNothing, kApprove), Expect{}.problem(kNothing).sendDisabled()},
        {"blocked", withProblem(std::nullopt, kApprove), Expect{}.problem(kApprove).sendDisabled()},
        {"problem, not blocked", withProblem(kNothing, std::nullopt), Expect{}.problem(kNothing)},
        {"send in flight",
         [] {
             auto in = typed("hi");
             in.sendInFlight = true;
             return in;
         }(),
         Expect{}.sendDisabled()},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto state = messageViewState(row.in);
        const auto& want = row.want;
        if (want.preview_) {
            EXPECT_EQ(state.preview, *want.preview_);
        }
        if (want.duration_) {
            EXPECT_EQ(state.durationLine, *want.duration_);
        }
        EXPECT_EQ(state.durationOrange, want.orange_);
        EXPECT_EQ(state.skippedLine, want.skipped_);
        EXPECT_EQ(state.problemLine, want.problem_);
        EXPECT_EQ(state.sendEnabled, want.sendEnabled_);
        EXPECT_EQ(state.sending, want.sending_);
        EXPECT_EQ(state.subtitle, row.in.sendingText ? kSendingSubtitle : kIdleSubtitle);
        EXPECT_EQ(state.bulbLit, row.in.isBright);
    }
}

TEST(MessageModel, DurationLineAndFieldLimit) {
    const std::pair<double, const char*> durations[] = {
        {0.4, "Takes about 0 s."},          {59.4, "Takes about 59 s."},         {59.5, "Takes about 1 min 0 s."},
        {75, "Takes about 1 min 15 s."},    {3599.6, "Takes about 60 min 0 s."}, {-3, "Takes about 0 s."},
        {std::nan(""), "Takes about 0 s."},
    };
    for (const auto& [seconds, line] : durations) {
        EXPECT_EQ(durationLine(seconds, false), line) << seconds;
    }

    const std::pair<std::string, std::string> limits[] = {
        {repeated("a", 200), repeated("a", 200)},
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
    for (const auto speed : MessageSettings::kSpeeds) {
        ASSERT_TRUE(MessageSettings::setSpeed(defaults, speed).has_value());
        EXPECT_EQ(MessageSettings::speed(defaults), speed);
        EXPECT_EQ(MessageSettings::speedFromRaw(MessageSettings::rawValue(speed)), speed);
    }
    EXPECT_EQ(MessageSettings::timing(Speed::slow), (MorseCode::Timing{0.6, 2, 4, 5}));
    EXPECT_EQ(MessageSettings::timing(Speed::pro), (MorseCode::Timing{0.25, 2, 4, 5}));
}

}  // namespace
}  // namespace lidora::testing
