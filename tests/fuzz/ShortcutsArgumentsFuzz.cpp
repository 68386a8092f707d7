// What Shortcuts and Siri hand the app's actions: a value typed for any
// parameter, a spoken phrase, the metadata read from a bundle, and a run
// request with any arguments. A value the system's side accepts must pass
// the app's own check; metadata that reads must read the same once written
// again; an action runs to a dialog or to an error that says what is wrong.
//
// Input: a mode byte, then the mode's bytes (indexes, and text or fields).

#include "core/runtime/VirtualRunLoop.h"
#include "core/shortcuts/AppEnums.h"
#include "core/shortcuts/LidoraActions.h"
#include "core/shortcuts/LidoraShortcuts.h"
#include "core/shortcuts/ShortcutsRunner.h"
#include "core/text/Characters.h"
#include "platform/shortcuts/AppIntentsMetadata.h"
#include "platform/shortcuts/PhraseMatcher.h"
#include "platform/shortcuts/ShortcutsArguments.h"
#include "tests/fuzz/FuzzInput.h"
#include "tests/support/StartedTask.h"
#include "tests/unit/brightness/BrightnessFakes.h"
#include "tests/unit/light/LightFakes.h"
#include "tests/unit/shell/ShellFakes.h"

using namespace lidora;
using namespace lidora::vmac;

namespace {

const ShortcutsCatalog& catalog() {
    static const ShortcutsCatalog built = catalogOf(lidoraActions(), appEnums(), lidoraShortcuts());
    return built;
}

// The app's check of one argument alone, as a required parameter.
bool appAccepts(const ShortcutsAction& action, std::string_view name, const ArgumentValue& value) {
    for (const auto& parameter : action.parameters) {
        if (parameter.name == name) {
            ActionParameter required = parameter;
            required.optional = false;
            const ShortcutsAction alone{action.identifier, action.title, {&required, 1}, {}, action.perform};
            return checkArguments(alone, ActionArguments{{std::string(name), value}}).has_value();
        }
    }
    return false;
}

void typedValue(fuzz::FuzzInput& input) {
    const auto actions = lidoraActions();
    const ShortcutsAction& action = actions[input.byte() % actions.size()];
    if (action.parameters.empty()) {
        return;
    }
    const ActionParameter& parameter = action.parameters[input.byte() % action.parameters.size()];
    const CatalogAction* described = catalog().actionByIdentifier(action.identifier);
    LIDORA_FUZZ_CHECK(described != nullptr);
    for (const auto& catalogParameter : described->parameters) {
        if (catalogParameter.name != parameter.name) {
            continue;
        }
        const auto value = argumentValue(catalog(), catalogParameter, input.rest());
        if (value) {
            LIDORA_FUZZ_CHECK(appAccepts(action, parameter.name, *value));
        } else {
            LIDORA_FUZZ_CHECK(!value.error().empty());
        }
    }
}

void spokenPhrase(fuzz::FuzzInput& input) {
    const std::vector<ShortcutsApp> apps{{"/Applications/Lidora.app", "Lidora", "com.zelquin.lidora", catalog()}};
    const auto match = matchPhrase(apps, input.rest());
    if (!match) {
        return;
    }
    const ShortcutsAction* action = findAction(match->action->identifier);
    LIDORA_FUZZ_CHECK(action != nullptr);
    for (const auto& [name, value] : match->arguments) {
        LIDORA_FUZZ_CHECK(appAccepts(*action, name, value));
    }
}

void metadata(fuzz::FuzzInput& input) {
    const auto parsed = parseMetadata(input.rest());
    if (!parsed) {
        LIDORA_FUZZ_CHECK(!parsed.error().empty());
        return;
    }
    const auto reread = parseMetadata(metadataJson(*parsed));
    LIDORA_FUZZ_CHECK(reread.has_value() && *reread == *parsed);
}

ArgumentValue anyValue(fuzz::FuzzInput& input) {
    switch (input.byte() % 4U) {
        case 0: return input.flag();
        case 1: {
            std::int64_t number = 0;
            for (int i = 0; i < 8; ++i) {
                number = static_cast<std::int64_t>(static_cast<std::uint64_t>(number) << 8U | input.byte());
            }
            return number;
        }
        default: return std::string(input.field());
    }
}

struct Delegate final : ShortcutsDelegate {
    Task<std::optional<std::string>> sendMessage(std::string text, MorseCode::Timing timing, bool markers) override {
        LIDORA_FUZZ_CHECK(characters(text).size() <= kShortcutsMessageLimit);
        if (MorseCode::steps(text, timing, markers).empty()) {
            co_return std::string(kNothingToSendProblem);
        }
        co_return std::nullopt;
    }
};

void runRequest(fuzz::FuzzInput& input) {
    const auto actions = lidoraActions();
    const std::string identifier =
        input.flag() ? std::string(input.field()) : std::string(actions[input.byte() % actions.size()].identifier);
    ActionArguments arguments;
    for (int i = 0; i < 8 && !input.rest().empty(); ++i) {
        std::string name(input.field());
        arguments.insert_or_assign(std::move(name), anyValue(input));
    }

    VirtualRunLoop loop;
    testing::Trace trace;
    testing::FakeLight light(loop, trace);
    for (int i = 0; i < 4; ++i) {
        light.states.scripted.emplace_back(LightState::on);
        light.switches.scripted.emplace_back();
        light.resets.scripted.emplace_back();
    }
    testing::MemoryDefaultsProvider defaults;
    auto owned = std::make_unique<testing::FakeBackend>();
    owned->tables[std::string(kBrightnessCurveKey)] = {{0, 2}, {1, 400}};
    owned->tables[std::string(kBrightnessFloorKey)] = {{0, 1}, {1000, 40}};
    LogoBrightnessController brightness(std::move(owned), defaults, Logger());
    testing::FakeControls controls;
    testing::FakeNotifications notifications;
    Delegate delegate;
    ShortcutsContext context{light, defaults, brightness, controls, notifications, [&] { return &delegate; }};

    std::optional<ActionResult> result;
    // Destroyed at the end with whatever still waits in it.
    const auto task = [](Task<ActionResult> run, std::optional<ActionResult>& out) -> testing::StartedTask {
        out = co_await std::move(run);
    }(runShortcutsAction(context, identifier, std::move(arguments)), result);
    loop.runUntilIdle();
    if (result && !*result) {
        LIDORA_FUZZ_CHECK(!result->error().message.empty());
    }
    if (const auto level = defaults.suiteDefaults->number(kLogoBrightnessLevelKey)) {
        LIDORA_FUZZ_CHECK(*level >= 0.0 && *level <= 1.0);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::FuzzInput input(data, size);
    switch (input.byte() % 4U) {
        case 0: typedValue(input); break;
        case 1: spokenPhrase(input); break;
        case 2: metadata(input); break;
        default: runRequest(input);
    }
    return 0;
}
