// The actions on a virtual clock with fakes: the daemon, the defaults, the
// brightness backend, WidgetKit, Darwin notifications and the delegate.
#include <gtest/gtest.h>

#include "core/effects/KeepsLogoDark.h"
#include "core/runtime/VirtualRunLoop.h"
#include "core/shortcuts/LidoraActions.h"
#include "core/shortcuts/LidoraShortcuts.h"
#include "core/shortcuts/ShortcutsOperations.h"
#include "core/shortcuts/ShortcutsRunner.h"
#include "core/text/Characters.h"
#include "tests/support/StartedTask.h"
#include "tests/unit/brightness/BrightnessFakes.h"
#include "tests/unit/light/LightFakes.h"
#include "tests/unit/shell/ShellFakes.h"

namespace lidora::testing {
namespace {

constexpr double kSixty = 0.8694216207171603;
constexpr double kThirty = 0.6922378005816023;
constexpr std::string_view kNotApproved = "Lidora's helper isn't allowed to run. Allow it in System Settings.";

struct FakeDelegate final : ShortcutsDelegate {
    struct Sent {
        std::string text;
        MorseCode::Timing timing;
        bool markers;
    };
    Task<std::optional<std::string>> sendMessage(std::string text, MorseCode::Timing timing, bool markers) override {
        const bool sendable = !MorseCode::steps(text, timing, markers).empty();
        sent.push_back({std::move(text), timing, markers});
        if (!sendable) {
            co_return std::string(kNothingToSendProblem);
        }
        co_return problem;
    }
    std::vector<Sent> sent;
    std::optional<std::string> problem;
};

Task<void> capture(Task<ActionResult> task, std::optional<ActionResult>& out) {
    out = co_await std::move(task);
}

class ShortcutsActionsTest : public ::testing::Test {
protected:
    std::unique_ptr<LogoBrightnessController> makeBrightness() {
        auto made = std::make_unique<FakeBackend>();
        backend = made.get();
        backend->tables[std::string(kBrightnessCurveKey)] = {{0, 2}, {1, 400}};
        backend->tables[std::string(kBrightnessFloorKey)] = {{0, 1}, {1000, 40}};
        return std::make_unique<LogoBrightnessController>(std::move(made), defaults, Logger());
    }

    ActionResult run(std::string identifier, ActionArguments arguments = {}) {
        std::optional<ActionResult> result;
        const auto task =
            start(capture(runShortcutsAction(context, std::move(identifier), std::move(arguments)), result));
        loop.runUntilIdle();
        EXPECT_TRUE(task.done()) << "the action waits on something the test did not answer";
        if (!result) {
            return unexpected(failure("did not finish"));
        }
        return std::move(*result);
    }

    void keepDark() { (void)defaults.standardDefaults->set(kOnAirDarkOtherwiseKey, PreferenceValue(true)); }
    void setLevel(double level) { (void)defaults.suiteDefaults->set(kLogoBrightnessLevelKey, PreferenceValue(level)); }
    [[nodiscard]] std::optional<double> storedLevel() const {
        return defaults.suiteDefaults->number(kLogoBrightnessLevelKey);
    }
    [[nodiscard]] std::optional<PreferenceValue> standard(std::string_view key) const {
        return defaults.standardDefaults->object(key);
    }

    VirtualRunLoop loop;
    Trace trace;
    FakeLight light{loop, trace};
    MemoryDefaultsProvider defaults;
    FakeBackend* backend = nullptr;
    std::unique_ptr<LogoBrightnessController> brightness = makeBrightness();
    FakeControls controls;
    FakeNotifications notifications;
    FakeDelegate delegate;
    bool launched = true;
    ShortcutsContext context{light,         defaults,
                             *brightness,   controls,
                             notifications, [this]() -> ShortcutsDelegate* { return launched ? &delegate : nullptr; }};
};

std::string dialogOf(const ActionResult& result) {
    return result ? *result : "error: " + result.error().message;
}

TEST_F(ShortcutsActionsTest, LightActionSwitchesUnlessOnAirKeepsTheLogoDark) {
    struct Row {
        std::string state;
        bool dark;
        std::string dialog;
        Trace calls;
    };
    const std::vector<Row> rows{
        {"on", false, "The Apple logo light is on.", {"setLight(on)"}},
        {"off", false, "The Apple logo light is off.", {"setLight(off)"}},
        {"off", true, "The Apple logo light is already off while you're not on air.", {}},
        {"on",
         true,
         "On Air is keeping the Apple logo dark until you're on a call. You can change that in Lidora's Settings.",
         {}},
    };
    for (const auto& row : rows) {
        trace.clear();
        notifications.posted.clear();
        (void)defaults.standardDefaults->set(kOnAirDarkOtherwiseKey, PreferenceValue(row.dark));
        light.switches.scripted.emplace_back();
        light.switches.scripted.resize(row.calls.size());
        EXPECT_EQ(dialogOf(run("LogoLightIntent", {{"state", row.state}})), row.dialog) << row.state;
        EXPECT_EQ(trace, row.calls) << row.state;
        EXPECT_EQ(notifications.posted, std::vector<std::string>(row.calls.size(), "com.zelquin.lidora.changed"));
    }
}

TEST_F(ShortcutsActionsTest, BrightnessActionsStoreApplyAndAnswerInWords) {
    struct Row {
        std::string name;
        double before;
        bool dark;
        std::optional<LightState> light;  // none: not read
        std::string action;
        ActionArguments arguments;
        double stored;
        std::string dialog;
    };
    const std::vector<Row> rows{
        {"dim from full", 1.0, false, LightState::on, "DimLogoIntent", {}, kSixty, "The Apple logo is at 60 percent."},
        {"dim at dim", 0.0, false, LightState::on, "DimLogoIntent", {}, 0.0, "The Apple logo is at its dimmest."},
        {"dim from thirty",
         kThirty,
         false,
         LightState::on,
         "DimLogoIntent",
         {},
         0.0,
         "The Apple logo is at its dimmest."},
        {"brighten from dim",
         0.0,
         false,
         LightState::on,
         "BrightenLogoIntent",
         {},
         kThirty,
         "The Apple logo is at 30 percent."},
        {"brighten at full",
         1.0,
         false,
         LightState::on,
         "BrightenLogoIntent",
         {},
         1.0,
         "The Apple logo is at 100 percent."},
        {"2 percent is dim",
         1.0,
         false,
         LightState::on,
         "LogoBrightnessPercentIntent",
         {{"percent", 2}},
         0.0,
         "The Apple logo is at its dimmest."},
        {"150 percent is 100",
         0.5,
         false,
         LightState::on,
         "LogoBrightnessPercentIntent",
         {{"percent", 150}},
         1.0,
         "The Apple logo is at 100 percent."},
        {"negative percent is dim",
         0.5,
         false,
         LightState::on,
         "LogoBrightnessPercentIntent",
         {{"percent", std::int64_t{-7}}},
         0.0,
         "The Apple logo is at its dimmest."},
        {"40 percent",
         1.0,
         false,
         LightState::on,
         "LogoBrightnessPercentIntent",
         {{"percent", 40}},
         levelForFactor(0.4),
         "The Apple logo is at 40 percent."},
        {"thirty with the light off",
         1.0,
         false,
         LightState::off,
         "LogoBrightnessPresetIntent",
         {{"level", "thirty"}},
         kThirty,
         "The Apple logo light is on, at 30 percent."},
        {"brighten in On Air dark mode",
         0.0,
         true,
         std::nullopt,
         "BrightenLogoIntent",
         {},
         kThirty,
         "The Apple logo will be at 30 percent when it's on. On Air keeps it dark until you're on a call."},
        {"dim preset in On Air dark mode",
         1.0,
         true,
         std::nullopt,
         "LogoBrightnessPresetIntent",
         {{"level", "dim"}},
         0.0,
         "The Apple logo will be at its dimmest when it's on. On Air keeps it dark until you're on a call."},
    };
    for (const auto& row : rows) {
        trace.clear();
        notifications.posted.clear();
        controls.reloads.clear();
        setLevel(row.before);
        (void)defaults.standardDefaults->set(kOnAirDarkOtherwiseKey, PreferenceValue(row.dark));
        Trace calls;
        if (row.light) {
            light.states.scripted.emplace_back(*row.light);
            calls.emplace_back("state");
        }
        if (row.light == LightState::off) {
            light.switches.scripted.emplace_back();
            calls.emplace_back("setLight(on)");
        }
        EXPECT_EQ(dialogOf(run(row.action, row.arguments)), row.dialog) << row.name;
        EXPECT_EQ(storedLevel(), row.stored) << row.name;
        EXPECT_EQ(trace, calls) << row.name;
        EXPECT_EQ(controls.reloads, std::vector<std::string>{std::string(kLogoBrightnessControlKind)}) << row.name;
        EXPECT_EQ(notifications.posted.size(), row.light == LightState::off ? 1U : 0U) << row.name;
        // Applied: the live curve is the original scaled by the new level's factor.
        EXPECT_NEAR(backend->tables[std::string(kBrightnessCurveKey)].back()[1], 400 * factorForLevel(row.stored), 0.01)
            << row.name;
    }
}

TEST_F(ShortcutsActionsTest, DaemonFailuresEndTheActionWithTheirTextAndKeepWhatWasDone) {
    struct Row {
        std::string name;
        std::string action;
        ActionArguments arguments;
        std::optional<LightState> read;  // none: the read fails
        Trace calls;
        bool levelStored;
    };
    const std::vector<Row> rows{
        {"switching fails", "LogoLightIntent", {{"state", "on"}}, LightState::on, {"setLight(on)"}, false},
        {"reading fails", "LogoBrightnessPresetIntent", {{"level", "sixty"}}, std::nullopt, {"state"}, true},
        {"switching on fails",
         "LogoBrightnessPresetIntent",
         {{"level", "sixty"}},
         LightState::off,
         {"state", "setLight(on)"},
         true},
    };
    for (const auto& row : rows) {
        trace.clear();
        notifications.posted.clear();
        controls.reloads.clear();
        setLevel(1.0);
        if (row.action != "LogoLightIntent") {
            light.states.scripted.emplace_back(row.read ? Expected<LightState, HelperError>(*row.read)
                                                        : unexpected(failure(std::string(kNotApproved))));
        }
        light.switches.scripted.emplace_back(unexpected(failure(std::string(kNotApproved))));
        const auto result = run(row.action, row.arguments);
        light.switches.scripted.clear();
        EXPECT_EQ(dialogOf(result), "error: " + std::string(kNotApproved)) << row.name;
        EXPECT_EQ(trace, row.calls) << row.name;
        EXPECT_TRUE(notifications.posted.empty()) << row.name;
        EXPECT_EQ(storedLevel(), row.levelStored ? kSixty : 1.0) << row.name;
        EXPECT_EQ(controls.reloads.size(), row.levelStored ? 1U : 0U) << row.name;
    }
}

TEST_F(ShortcutsActionsTest, MorseActionSendsThroughTheDelegate) {
    const std::string kLong = "  \n" + std::string(250, 'E') + " \t\n";
    struct Row {
        std::string name;
        ActionArguments arguments;
        std::optional<std::string> storedSpeed;
        std::optional<bool> storedMarkers;
        std::string sentText;
        double unit;
        bool markers;
        std::string dialog;  // empty: only checked to begin as a sending dialog
    };
    const std::vector<Row> rows{
        {"SOS with the defaults",
         {{"message", "SOS"}},
         std::nullopt,
         std::nullopt,
         "SOS",
         0.4,
         true,
         "Sending \u201CSOS\u201D in Morse code. It takes about 24 seconds."},
        {"trimmed, then cut to 200 characters",
         {{"message", kLong}},
         std::nullopt,
         std::nullopt,
         std::string(200, 'E'),
         0.4,
         true,
         ""},
        {"stray stored speed", {{"message", "hi"}}, "turbo", std::nullopt, "hi", 0.4, true, ""},
        {"stored slow speed", {{"message", "hi"}}, "slow", false, "hi", 0.6, false, ""},
        {"speed and markers given",
         {{"message", "hi"}, {"speed", "pro"}, {"markers", false}},
         "slow",
         true,
         "hi",
         0.25,
         false,
         ""},
        {"a skipped character",
         {{"message", "ok \u263A!"}},
         std::nullopt,
         std::nullopt,
         "ok \u263A!",
         0.4,
         true,
         "Sending \u201Cok \u263A!\u201D in Morse code. It takes about 32 seconds. Skipped: \u263A."},
        {"invalid UTF-8",
         {{"message", std::string("a\xFF")}},
         std::nullopt,
         std::nullopt,
         "a\uFFFD",
         0.4,
         true,
         "Sending \u201Ca\uFFFD\u201D in Morse code. It takes about 16 seconds. Skipped: \uFFFD."},
    };
    for (const auto& row : rows) {
        delegate.sent.clear();
        defaults.standardDefaults->values.clear();
        if (row.storedSpeed) {
            (void)defaults.standardDefaults->set(MessageSettings::kSpeedKey, PreferenceValue(*row.storedSpeed));
        }
        if (row.storedMarkers) {
            (void)defaults.standardDefaults->set(MessageSettings::kMarkersKey, PreferenceValue(*row.storedMarkers));
        }
        const auto dialog = dialogOf(run("SendMorseMessageIntent", row.arguments));
        if (row.dialog.empty()) {
            EXPECT_TRUE(dialog.starts_with("Sending \u201C" + row.sentText + "\u201D in Morse code. It takes "))
                << row.name << ": " << dialog;
        } else {
            EXPECT_EQ(dialog, row.dialog) << row.name;
        }
        ASSERT_EQ(delegate.sent.size(), 1U) << row.name;
        EXPECT_EQ(delegate.sent[0].text, row.sentText) << row.name;
        EXPECT_EQ(delegate.sent[0].timing, (MorseCode::Timing{row.unit, 2, 4, 5})) << row.name;
        EXPECT_EQ(delegate.sent[0].markers, row.markers) << row.name;
    }
}

TEST_F(ShortcutsActionsTest, MorseActionFailuresAreTheDelegatesTexts) {
    struct Row {
        std::string name;
        bool launched;
        std::string message;
        std::optional<std::string> problem;
        std::size_t sent;
        std::string error;
    };
    const std::vector<Row> rows{
        {"before launch", false, "SOS", std::nullopt, 0, "Lidora is still starting. Try again in a moment."},
        {"only skipped characters", true, " \u263A\u263A ", std::nullopt, 1, std::string(kNothingToSendProblem)},
        {"helper not approved", true, "SOS", "Lidora needs its helper approved first.", 1,
         "Lidora needs its helper approved first."},
    };
    for (const auto& row : rows) {
        delegate.sent.clear();
        launched = row.launched;
        delegate.problem = row.problem;
        EXPECT_EQ(dialogOf(run("SendMorseMessageIntent", {{"message", row.message}})), "error: " + row.error)
            << row.name;
        EXPECT_EQ(delegate.sent.size(), row.sent) << row.name;
    }
}

TEST_F(ShortcutsActionsTest, SettingActionsWriteOnePreferenceAndExplain) {
    struct Row {
        std::string action;
        ActionArguments arguments;
        std::optional<bool> onAirEnabled;
        std::string key;
        PreferenceValue written;
        std::string dialog;
    };
    const std::vector<Row> rows{
        {"SetOnAirIntent",
         {{"state", "on"}},
         false,
         "onAirEnabled",
         PreferenceValue(true),
         "The On Air light is on. The Apple logo will signal ON AIR while you're on a call."},
        {"SetOnAirIntent",
         {{"state", "off"}},
         std::nullopt,
         "onAirEnabled",
         PreferenceValue(false),
         "The On Air light is off."},
        {"SetOnAirTriggerIntent",
         {{"trigger", "camera"}},
         false,
         "onAirSource",
         PreferenceValue(std::string("camera")),
         "The On Air light will turn on while an app uses the camera. The On Air light itself is off."},
        {"SetOnAirTriggerIntent",
         {{"trigger", "cameraOrMicrophone"}},
         std::nullopt,
         "onAirSource",
         PreferenceValue(std::string("cameraOrMicrophone")),
         "The On Air light will turn on while an app uses the camera or a microphone."},
        {"SetOnAirDarkIntent",
         {{"state", "on"}},
         true,
         "onAirDarkOtherwise",
         PreferenceValue(true),
         "The Apple logo will stay dark except while you're on air."},
        {"SetOnAirDarkIntent",
         {{"state", "on"}},
         false,
         "onAirDarkOtherwise",
         PreferenceValue(true),
         "Saved. Turn the On Air light on for it to take effect."},
        {"SetOnAirDarkIntent",
         {{"state", "off"}},
         false,
         "onAirDarkOtherwise",
         PreferenceValue(false),
         "The Apple logo light is back under your control."},
        {"SetBreathingIntent",
         {{"state", "on"}},
         std::nullopt,
         "breatheWhenLockedAndCharging",
         PreferenceValue(true),
         "Breathing is on. The Apple logo will breathe while the screen is locked and the Mac is plugged in."},
        {"SetBreathingIntent",
         {{"state", "off"}},
         std::nullopt,
         "breatheWhenLockedAndCharging",
         PreferenceValue(false),
         "Breathing is off."},
    };
    for (const auto& row : rows) {
        defaults.standardDefaults->values.clear();
        if (row.onAirEnabled) {
            (void)defaults.standardDefaults->set(kOnAirEnabledKey, PreferenceValue(*row.onAirEnabled));
        }
        EXPECT_EQ(dialogOf(run(row.action, row.arguments)), row.dialog) << row.action;
        EXPECT_EQ(standard(row.key), row.written) << row.action;
    }
    EXPECT_TRUE(trace.empty()) << "setting actions never talk to the daemon";
}

TEST_F(ShortcutsActionsTest, ArgumentsAreCheckedBeforeAnythingRuns) {
    struct Row {
        std::string action;
        ActionArguments arguments;
        std::string error;
    };
    const std::vector<Row> rows{
        {"NoSuchIntent", {}, "Lidora has no action \u201CNoSuchIntent\u201D."},
        {"LogoLightIntent", {}, "\u201CTurn Apple Logo Light On or Off\u201D needs a value for \u201CLight\u201D."},
        {"LogoLightIntent", {{"state", "dim"}}, "\u201CLight\u201D must be one of: on, off."},
        {"LogoLightIntent", {{"state", "On"}}, "\u201CLight\u201D must be one of: on, off."},
        {"LogoLightIntent",
         {{"state", "on"}, {"level", "dim"}},
         "\u201CTurn Apple Logo Light On or Off\u201D has no parameter \u201Clevel\u201D."},
        {"LogoBrightnessPercentIntent", {{"percent", "40"}}, "\u201CBrightness (%)\u201D must be a whole number."},
        {"SendMorseMessageIntent",
         {{"message", "hi"}, {"markers", "yes"}},
         "\u201CStart and End Markers\u201D must be true or false."},
        {"SendMorseMessageIntent", {{"message", true}}, "\u201CMessage\u201D must be text."},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(dialogOf(run(row.action, row.arguments)), "error: " + row.error) << row.action;
    }
    EXPECT_TRUE(trace.empty());
    EXPECT_TRUE(delegate.sent.empty());
    EXPECT_TRUE(defaults.standardDefaults->values.empty());
}

// What the system reads and what runs come from one declaration; these are
// the links between them that a typo would break.
TEST(ShortcutsDeclarationsTest, ShortcutsPhrasesAndSummariesNameRealParameters) {
    for (const auto& shortcut : lidoraShortcuts()) {
        const auto* action = findAction(shortcut.action);
        ASSERT_NE(action, nullptr) << shortcut.action;
        for (const auto phrase : shortcut.phrases) {
            EXPECT_NE(phrase.find("${applicationName}"), std::string_view::npos) << phrase;
            for (const auto& parameter : action->parameters) {
                const bool named = phrase.find("${" + std::string(parameter.name) + "}") != std::string_view::npos;
                EXPECT_TRUE(!named || parameter.kind == ParameterKind::appEnum) << phrase;
            }
        }
    }
    for (const auto& action : lidoraActions()) {
        std::string_view text = action.summary.text;
        for (auto open = text.find("${"); open != std::string_view::npos; open = text.find("${", open + 2)) {
            const auto name = text.substr(open + 2, text.find('}', open) - open - 2);
            EXPECT_TRUE(std::any_of(action.parameters.begin(), action.parameters.end(),
                                    [&](const ActionParameter& p) { return p.name == name; }))
                << action.identifier << ": " << name;
        }
    }
    EXPECT_EQ(lidoraActions().size(), 10U);
    EXPECT_EQ(lidoraShortcuts().size(), 7U);
}

TEST(FirstCharactersTest, CountsWhatAPersonCounts) {
    struct Row {
        std::string text;
        std::size_t count;
        std::string first;
    };
    const std::vector<Row> rows{
        {"", 3, ""},
        {"abc", 5, "abc"},
        {"e\u0301e\u0301e\u0301", 2, "e\u0301e\u0301"},
        {"\U0001F469\u200D\U0001F469\u200D\U0001F467x", 1, "\U0001F469\u200D\U0001F469\u200D\U0001F467"},
        {"\r\nab", 1, "\r\n"},
        {std::string("\xC3x"), 1, "\uFFFD"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(firstCharacters(row.text, row.count), row.first) << row.text;
    }
    const std::string large(8 << 20, 'A');
    EXPECT_EQ(firstCharacters(large, 200), std::string(200, 'A'));
}

}  // namespace
}  // namespace lidora::testing
