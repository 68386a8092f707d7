#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "platform/prefs/PlistText.h"
#include "tests/unit/prefs/PrintValue.h"

using ::testing::HasSubstr;

namespace lidora::vmac {
namespace {

TEST(PlistTextFormat, TopLevelScalarsArePlain) {
    const std::pair<PreferenceValue, const char*> cases[] = {
        {PreferenceValue(-7), "-7"},
        {PreferenceValue(true), "1"},
        {PreferenceValue(1.0), "1"},
        {PreferenceValue(0.1 + 0.2), "0.30000000000000004"},
        {PreferenceValue("two words \"quoted\""), "two words \"quoted\""},
    };
    for (const auto& [value, text] : cases) {
        EXPECT_EQ(formatPlistText(value), text);
    }
}

// The nested-array layout `defaults read` prints is checked end to end by the
// defaults command's tests; this covers dictionaries and quoting.
TEST(PlistTextFormat, DictionariesAreSortedAndContainersQuoteAllButPlainWords) {
    const PreferenceValue value(PreferenceDictionary{
        {"zeta", true},
        {"key with space",
         PreferenceArray{"Plain_Word9", "", "com.apple", -3, 2.0, 2.5, "say \"hi\"\\\n\t", std::string("\x01", 1)}},
        {"mid", PreferenceDictionary{{"inner", PreferenceArray{PreferenceArray{}}}}},
    });
    EXPECT_EQ(formatPlistText(value),
              "{\n"
              "    \"key with space\" =     (\n"
              "        Plain_Word9,\n"
              "        \"\",\n"
              "        \"com.apple\",\n"
              "        \"-3\",\n"
              "        2,\n"
              "        \"2.5\",\n"
              "        \"say \\\"hi\\\"\\\\\\n\\t\",\n"
              "        \"\\U0001\"\n"
              "    );\n"
              "    mid =     {\n"
              "        inner =         (\n"
              "                        (\n"
              "            )\n"
              "        );\n"
              "    };\n"
              "    zeta = 1;\n"
              "}");
    EXPECT_EQ(formatPlistText(PreferenceValue(PreferenceDictionary{})), "{\n}");
}

TEST(OldStylePlistParse, ReadsContainersEscapesAndKeepsEveryScalarAString) {
    const auto value = parseOldStylePlist(
        "{ list = (1, \"two words\", -3, ); // trailing comma is fine\n"
        "  /* nested */ inner = { \"quoted key\" = yes; empty = (); }; path = /usr/bin:x;\n"
        R"(  esc = ("a\"b", 'single', "tab\there\n", "\U00e9\101", "back\\slash"); })");
    ASSERT_TRUE(value) << value.error();
    const PreferenceValue expected(PreferenceDictionary{
        {"list", PreferenceArray{"1", "two words", "-3"}},
        {"inner", PreferenceDictionary{{"quoted key", "yes"}, {"empty", PreferenceArray{}}}},
        {"path", "/usr/bin:x"},
        {"esc", PreferenceArray{"a\"b", "single", "tab\there\n", "\u00e9A", "back\\slash"}},
    });
    EXPECT_EQ(*value, expected);
}

TEST(OldStylePlistParse, ReadsBackWhatTheFormatterWritesForStrings) {
    const PreferenceValue original(PreferenceDictionary{
        {"a b", PreferenceArray{"x", "", "quote\"and\\slash", "line\nbreak", PreferenceDictionary{{"k", "v"}}}},
        {"plain", "word"},
    });
    const auto parsed = parseOldStylePlist(formatPlistText(original));
    ASSERT_TRUE(parsed) << parsed.error();
    EXPECT_EQ(*parsed, original);
}

TEST(OldStylePlistParse, MalformedOrTooDeepTextFailsSayingWhere) {
    const std::pair<std::string, const char*> cases[] = {
        {"", "line 1, column 1: no value"},
        {"(a, b", "line 1, column 6: the array is not closed"},
        {"{\n  a 1; }", "line 2, column 5: expected '=' after the key"},
        {"{ a = 1;", "the dictionary is not closed"},
        {"(a) b", "line 1, column 5: unexpected text after the value"},
        {"(\"open", "the quoted string is not closed"},
        {"(<0fab>)", "data values are not supported"},
        {"(a /* never closed", "comment is not closed"},
        {"(\"\\U\")", "invalid \\U escape"},
        {std::string(65, '(') + "a" + std::string(65, ')'), "nested deeper than 64 levels"},
        // Hostile depth fails the same way instead of exhausting the stack.
        {std::string(1'000'000, '('), "nested deeper than 64 levels"},
    };
    for (const auto& [text, error] : cases) {
        const auto value = parseOldStylePlist(text);
        ASSERT_FALSE(value) << text.substr(0, 20);
        EXPECT_THAT(value.error(), HasSubstr(error)) << text.substr(0, 20);
    }
    EXPECT_TRUE(parseOldStylePlist(std::string(64, '(') + "a" + std::string(64, ')')));
}

}  // namespace
}  // namespace lidora::vmac
