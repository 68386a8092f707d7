#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "platform/corebrightness/LogoTables.h"
#include "platform/corebrightness/PropertyWire.h"
#include "platform/prefs/PreferenceJson.h"

namespace lidora::vmac {
namespace {

PreferenceValue json(const std::string& text) {
    auto value = decodePreferenceValueJson(text);
    EXPECT_TRUE(value) << text;
    return value ? *value : PreferenceValue();
}

TEST(LogoTablesTest, AcceptsOnlyBoundedArraysOfNumberPairs) {
    for (const auto* accepted : {"[[0,1]]", "[[0.5,2.5],[1,-3]]", "[[1e3,0]]"}) {
        EXPECT_TRUE(validateLogoTable(json(accepted))) << accepted;
    }
    for (const auto* refused :
         {"[]", "[[0,1],[2]]", "[[0,1,2]]", "[[\"0\",1]]", "[[true,1]]", "[0,1]", "{\"a\":[0,1]}", "7"}) {
        EXPECT_FALSE(validateLogoTable(json(refused))) << refused;
    }
    PreferenceArray many(kMaxLogoTablePoints + 1, PreferenceArray{0.0, 1.0});
    EXPECT_FALSE(validateLogoTable(PreferenceValue(many)));
    many.pop_back();
    EXPECT_TRUE(validateLogoTable(PreferenceValue(many)));
    // Integers come back as doubles; JSON cannot carry NaN, a value can.
    EXPECT_EQ(*validateLogoTable(json("[[0,1]]")), (BrightnessTable{{0.0, 1.0}}));
    const PreferenceArray notANumber{PreferenceValue(0.0), PreferenceValue(std::nan(""))};
    EXPECT_FALSE(validateLogoTable(PreferenceValue(PreferenceArray{PreferenceValue(notANumber)})));
}

TEST(LogoTablesTest, WireRequestsParseOrAreRefused) {
    const auto copy = parsePropertyRequest("copy LEPWMBrightnessNitsMapping");
    ASSERT_TRUE(copy);
    EXPECT_EQ(copy->kind, PropertyRequest::Kind::copy);
    EXPECT_EQ(copy->key, "LEPWMBrightnessNitsMapping");
    const auto set = parsePropertyRequest("set K [[0, 1], [1, 2]]");
    ASSERT_TRUE(set);
    EXPECT_EQ(set->kind, PropertyRequest::Kind::set);
    EXPECT_EQ(set->key, "K");
    EXPECT_EQ(set->valueJson, "[[0, 1], [1, 2]]");
    for (const auto* refused : {"", "copy", "copy ", "copy a b", "copy ../x", "set K", "get K", "set  [1]"}) {
        EXPECT_FALSE(parsePropertyRequest(refused)) << refused;
    }
    EXPECT_FALSE(parsePropertyRequest("copy " + std::string(kMaxPropertyKey + 1, 'K')));
    EXPECT_EQ(setRequestLine("K", "[1]"), "set K [1]\n");
}

}  // namespace
}  // namespace lidora::vmac
