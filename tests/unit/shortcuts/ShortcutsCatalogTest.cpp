// What Shortcuts and Siri read from an app's metadata, and how they take
// what a person types or says.
#include <gtest/gtest.h>

#include "core/shortcuts/LidoraActions.h"
#include "core/shortcuts/LidoraShortcuts.h"
#include "platform/shortcuts/AppIntentsMetadata.h"
#include "platform/shortcuts/PhraseMatcher.h"
#include "platform/shortcuts/ShortcutsArguments.h"

namespace lidora::vmac {
namespace {

ShortcutsCatalog lidoraCatalog() {
    return catalogOf(lidoraActions(), appEnums(), lidoraShortcuts());
}

TEST(AppIntentsMetadataTest, WhatTheBuildWritesReadsBackTheSame) {
    const auto catalog = lidoraCatalog();
    const auto parsed = parseMetadata(metadataJson(catalog));
    ASSERT_TRUE(parsed) << parsed.error();
    EXPECT_EQ(*parsed, catalog);
    const auto* morse = parsed->actionByTitle("send a morse MESSAGE");
    ASSERT_NE(morse, nullptr);
    EXPECT_EQ(morse->parameters[0].requestValueDialog, "What's the message?");
    EXPECT_EQ(parsed->actionByIdentifier("LogoBrightnessPercentIntent")->parameters[0].range, (CatalogRange{0, 100}));
}

TEST(AppIntentsMetadataTest, RefusesDamagedOrInconsistentFiles) {
    std::string good = metadataJson(lidoraCatalog());
    auto replaced = [&](std::string_view from, std::string_view to) {
        std::string text = good;
        text.replace(text.find(from), from.size(), to);
        return text;
    };
    const std::vector<std::pair<std::string, std::string>> rows{
        {"empty", ""},
        {"cut short", good.substr(0, good.size() / 2)},
        {"an array", "[]"},
        {"another version", replaced("\"version\": 1", "\"version\": 2")},
        {"a title of the wrong type", replaced("\"title\": \"Dim the Apple Logo\"", "\"title\": 3")},
        {"an unknown enumeration", replaced("\"enum\": \"OnAirSource\"", "\"enum\": \"Nothing\"")},
        {"a shortcut of no action", replaced("\"action\": \"DimLogoIntent\"", "\"action\": \"Gone\"")},
    };
    for (const auto& [name, text] : rows) {
        EXPECT_FALSE(parseMetadata(text)) << name;
    }
}

TEST(ShortcutsArgumentsTest, ValuesAreTakenAsShortcutsTakesThem) {
    const auto catalog = lidoraCatalog();
    auto parameter = [&](std::string_view action, std::size_t index) {
        return catalog.actionByIdentifier(action)->parameters.at(index);
    };
    struct Row {
        CatalogParameter parameter;
        std::string typed;
        std::optional<ArgumentValue> value;  // none: refused
    };
    const auto state = parameter("LogoLightIntent", 0);
    const auto level = parameter("LogoBrightnessPresetIntent", 0);
    const auto percent = parameter("LogoBrightnessPercentIntent", 0);
    const auto message = parameter("SendMorseMessageIntent", 0);
    const auto speed = parameter("SendMorseMessageIntent", 1);
    const auto markers = parameter("SendMorseMessageIntent", 2);
    const auto trigger = parameter("SetOnAirTriggerIntent", 0);
    const std::vector<Row> rows{
        {state, "off", ArgumentValue("off")},
        {state, " ON ", ArgumentValue("on")},
        {state, "dark", std::nullopt},
        {level, "thirty", ArgumentValue("thirty")},
        {level, "60%", ArgumentValue("sixty")},
        {level, "Full Brightness", ArgumentValue("full")},
        {level, "50%", std::nullopt},
        {percent, "40", ArgumentValue(std::int64_t{40})},
        {percent, "150", ArgumentValue(std::int64_t{150})},
        {percent, "99999999999999999999999", ArgumentValue(std::numeric_limits<std::int64_t>::max())},
        {percent, "4O", std::nullopt},
        {percent, "", std::nullopt},
        {message, std::string(" a\xFF "), ArgumentValue(" a\uFFFD ")},
        {speed, "PRO", ArgumentValue("pro")},
        {markers, "false", ArgumentValue(false)},
        {markers, "Yes", ArgumentValue(true)},
        {markers, "maybe", std::nullopt},
        {trigger, "camera only", ArgumentValue("camera")},
    };
    for (const auto& row : rows) {
        const auto value = argumentValue(catalog, row.parameter, row.typed);
        if (row.value) {
            ASSERT_TRUE(value) << row.typed << ": " << value.error();
            EXPECT_EQ(*value, *row.value) << row.typed;
        } else {
            EXPECT_FALSE(value) << row.typed;
        }
    }
}

TEST(PhraseMatcherTest, SpokenPhrasesFindTheirActionAndValues) {
    const std::vector<ShortcutsApp> apps{{"/Applications/Lidora.app", "Lidora", "com.zelquin.lidora", lidoraCatalog()}};
    struct Row {
        std::string spoken;
        std::string action;  // empty: no match
        ActionArguments arguments;
    };
    const std::vector<Row> rows{
        {"Dim the logo with Lidora", "DimLogoIntent", {}},
        {"  dim THE logo   with lidora. ", "DimLogoIntent", {}},
        {"Turn off the logo light in Lidora", "LogoLightIntent", {{"state", "off"}}},
        {"Turn the logo light on in Lidora?", "LogoLightIntent", {{"state", "on"}}},
        {"Set the logo brightness to 30 percent in Lidora", "LogoBrightnessPresetIntent", {{"level", "thirty"}}},
        {"Set the Apple logo to maximum with Lidora", "LogoBrightnessPresetIntent", {{"level", "full"}}},
        {"Set the Apple logo to 60% with Lidora", "LogoBrightnessPresetIntent", {{"level", "sixty"}}},
        {"Flash a Morse message in Lidora", "SendMorseMessageIntent", {}},
        {"Turn on the On Air light in Lidora", "SetOnAirIntent", {{"state", "on"}}},
        {"Set the logo brightness to 50 percent in Lidora", "", {}},
        {"Dim the logo with Lidoras", "", {}},
        {"Dim the logo", "", {}},
        {"Turn purple the logo light in Lidora", "", {}},
        {"", "", {}},
    };
    for (const auto& row : rows) {
        const auto match = matchPhrase(apps, row.spoken);
        if (row.action.empty()) {
            EXPECT_FALSE(match) << row.spoken;
            continue;
        }
        ASSERT_TRUE(match) << row.spoken;
        EXPECT_EQ(match->action->identifier, row.action) << row.spoken;
        EXPECT_EQ(match->arguments, row.arguments) << row.spoken;
    }
}

}  // namespace
}  // namespace lidora::vmac
