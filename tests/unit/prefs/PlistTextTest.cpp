#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "PrintValue.h"
#include "prefs/PlistText.h"

using ::testing::HasSubstr;

namespace lidora::vmac {
namespace {

std::string nested(std::size_t depth) {
    return std::string(depth, '(') + "a" + std::string(depth, ')');
}

TEST(PlistTextFormat, TopLevelScalarsArePlain) {
    EXPECT_EQ(formatPlistText(PreferenceValue(42)), "42");
    EXPECT_EQ(formatPlistText(PreferenceValue(-7)), "-7");
    EXPECT_EQ(formatPlistText(PreferenceValue(true)), "1");
    EXPECT_EQ(formatPlistText(PreferenceValue(false)), "0");
    EXPECT_EQ(formatPlistText(PreferenceValue(0.5)), "0.5");
    EXPECT_EQ(formatPlistText(PreferenceValue(70.22222)), "70.22222");
    EXPECT_EQ(formatPlistText(PreferenceValue(1.0)), "1");
    EXPECT_EQ(formatPlistText(PreferenceValue(0.1 + 0.2)), "0.30000000000000004");
    EXPECT_EQ(formatPlistText(PreferenceValue("two words \"quoted\"")), "two words \"quoted\"");
}

TEST(PlistTextFormat, NestedArraysUseTheEightSpaceOpeningIndent) {
    const PreferenceValue table(PreferenceArray{PreferenceArray{0, 0.5}, PreferenceArray{1, 500}});
    EXPECT_EQ(formatPlistText(table),
              "(\n"
              "        (\n"
              "        0,\n"
              "        \"0.5\"\n"
              "    ),\n"
              "        (\n"
              "        1,\n"
              "        500\n"
              "    )\n"
              ")");
}

TEST(PlistTextFormat, DictionariesAreSortedAndIndentContainersAfterTheKey) {
    const PreferenceValue value(PreferenceDictionary{
        {"zeta", true},
        {"alpha", PreferenceArray{"en-US", "de"}},
        {"mid", PreferenceDictionary{{"inner", PreferenceArray{PreferenceArray{}}}}},
    });
    EXPECT_EQ(formatPlistText(value),
              "{\n"
              "    alpha =     (\n"
              "        \"en-US\",\n"
              "        de\n"
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
    EXPECT_EQ(formatPlistText(PreferenceValue(PreferenceArray{})), "(\n)");
}

TEST(PlistTextFormat, QuotesInsideContainersUnlessAPlainWord) {
    const PreferenceValue value(PreferenceArray{"Plain_Word9", "", "a b", "com.apple", -3, 2.0, 2.5, false,
                                                "say \"hi\"\\\n\t", std::string("\x01", 1)});
    EXPECT_EQ(formatPlistText(value),
              "(\n"
              "    Plain_Word9,\n"
              "    \"\",\n"
              "    \"a b\",\n"
              "    \"com.apple\",\n"
              "    \"-3\",\n"
              "    2,\n"
              "    \"2.5\",\n"
              "    0,\n"
              "    \"say \\\"hi\\\"\\\\\\n\\t\",\n"
              "    \"\\U0001\"\n"
              ")");
    EXPECT_EQ(formatPlistText(PreferenceValue(PreferenceDictionary{{"key with space", "v"}})),
              "{\n    \"key with space\" = v;\n}");
}

TEST(OldStylePlistParse, ReadsContainersAndKeepsEveryScalarAString) {
    const auto value = parseOldStylePlist(
        "{ list = (1, 0.5, \"two words\", -3, ); // trailing comma is fine\n"
        "  /* nested */ inner = { \"quoted key\" = yes; empty = (); }; path = /usr/bin:x; }");
    ASSERT_TRUE(value) << value.error();
    const PreferenceValue expected(PreferenceDictionary{
        {"list", PreferenceArray{"1", "0.5", "two words", "-3"}},
        {"inner", PreferenceDictionary{{"quoted key", "yes"}, {"empty", PreferenceArray{}}}},
        {"path", "/usr/bin:x"},
    });
    EXPECT_EQ(*value, expected);
}

TEST(OldStylePlistParse, DecodesEscapesInQuotedStrings) {
    const auto value = parseOldStylePlist(R"(("a\"b", 'single', "tab\there\n", "\U00e9\101", "back\\slash"))");
    ASSERT_TRUE(value) << value.error();
    EXPECT_EQ(*value, PreferenceValue(PreferenceArray{"a\"b", "single", "tab\there\n", "\u00e9A", "back\\slash"}));
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

TEST(OldStylePlistParse, MalformedTextFailsSayingWhere) {
    struct Case {
        const char* text;
        const char* error;
    };
    const Case cases[] = {
        {"", "line 1, column 1: no value"},
        {"(a, b", "line 1, column 6: the array is not closed"},
        {"(a b)", "line 1, column 4: expected ',' or ')'"},
        {"{ a = 1 }", "line 1, column 9: expected ';' after the value"},
        {"{\n  a 1; }", "line 2, column 5: expected '=' after the key"},
        {"{ a = 1;", "the dictionary is not closed"},
        {"{ (a) = 1; }", "expected a key"},
        {"(a) b", "line 1, column 5: unexpected text after the value"},
        {"(\"open", "the quoted string is not closed"},
        {"(<0fab>)", "data values are not supported"},
        {"(a, ;)", "unexpected character ';'"},
        {"(a /* never closed", "comment is not closed"},
        {"(\"\\U\")", "invalid \\U escape"},
        {"(\"\\000\")", "octal escapes"},
    };
    for (const auto& c : cases) {
        const auto value = parseOldStylePlist(c.text);
        ASSERT_FALSE(value) << c.text;
        EXPECT_THAT(value.error(), HasSubstr(c.error)) << c.text;
    }
}

TEST(OldStylePlistParse, LimitsNestingDepth) {
    EXPECT_TRUE(parseOldStylePlist(nested(64)));
    const auto tooDeep = parseOldStylePlist(nested(65));
    ASSERT_FALSE(tooDeep);
    EXPECT_THAT(tooDeep.error(), HasSubstr("nested deeper than 64 levels"));
    // Hostile depth fails the same way instead of exhausting the stack.
    EXPECT_FALSE(parseOldStylePlist(std::string(1'000'000, '{')));
}

}  // namespace
}  // namespace lidora::vmac
