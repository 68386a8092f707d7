#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "PrintValue.h"
#include "prefs/XmlPlist.h"

using ::testing::HasSubstr;

namespace lidora::vmac {
namespace {

std::string nestedArrays(std::size_t depth) {
    std::string text;
    for (std::size_t i = 0; i < depth; ++i) {
        text += "<array>";
    }
    for (std::size_t i = 0; i < depth; ++i) {
        text += "</array>";
    }
    return text;
}

TEST(XmlPlistParse, ReadsATypedTableAsDoubles) {
    const auto value = parseXmlPlistFragment(
        "<array><array><real>0</real><real>0</real></array><array><real>1</real><real>500</real></array></array>");
    ASSERT_TRUE(value) << value.error();
    EXPECT_EQ(*value, PreferenceValue(PreferenceArray{PreferenceArray{0.0, 0.0}, PreferenceArray{1.0, 500.0}}));
    EXPECT_TRUE(value->asArray()->front().asArray()->front().isDouble());
}

TEST(XmlPlistParse, ReadsEveryTypeNestedWithWhitespaceAndComments) {
    const auto value = parseXmlPlistFragment(R"(
        <dict>
            <key>count</key> <integer> -12 </integer>
            <key>ratio</key> <real>70.22222</real>
            <key>on</key> <true/>
            <key>off</key> <false></false>
            <!-- comments are skipped -->
            <key>name</key> <string>Lid &amp; &lt;logo&gt; &quot;x&quot; &apos;y&apos; &#233;&#x41;</string>
            <key>empty</key> <string/>
            <key>list</key> <array/>
            <key>map</key> <dict><key>big</key><integer>9223372036854775807</integer></dict>
        </dict>)");
    ASSERT_TRUE(value) << value.error();
    const PreferenceValue expected(PreferenceDictionary{
        {"count", -12},
        {"ratio", 70.22222},
        {"on", true},
        {"off", false},
        {"name", "Lid & <logo> \"x\" 'y' \u00e9A"},
        {"empty", ""},
        {"list", PreferenceArray{}},
        {"map", PreferenceDictionary{{"big", std::int64_t{9223372036854775807}}}},
    });
    EXPECT_EQ(*value, expected);
}

TEST(XmlPlistParse, MalformedFragmentsFailSayingWhere) {
    struct Case {
        const char* text;
        const char* error;
    };
    const Case cases[] = {
        {"", "no element"},
        {"<array><integer>1</integer>", "expected </array>"},
        {"<array></dict>", "line 1, column 8: expected </array>"},
        {"<dict><key>a</key></dict>", "key \"a\" has no value"},
        {"<dict><string>a</string></dict>", "expected <key>"},
        {"<key>a</key>", "<key> belongs only in a <dict>"},
        {"<integer>12abc</integer>", "line 1, column 10: \"12abc\" is not an integer"},
        {"<integer>9223372036854775808</integer>", "out of the 64-bit integer range"},
        {"<real>nan</real>", "not a finite number"},
        {"<real></real>", "is not a number"},
        {"<true/><false/>", "unexpected text after the element"},
        {"<string a=\"1\">x</string>", "attributes are not supported"},
        {"<string>&nbsp;</string>", "unknown entity &nbsp;"},
        {"<string>&#0;</string>", "invalid character reference"},
        {"<string>a & b</string>", "must start an entity"},
        {"<string>a<b/>c</string>", "expected </string>"},
        {"<date>2024-01-01T00:00:00Z</date>", "<date> values are not supported"},
        {"<frob/>", "unknown element <frob>"},
        {"\n  <array>\n<true>", "line 3, column 7: expected </true>"},
        {"plain", "expected an element"},
    };
    for (const auto& c : cases) {
        const auto value = parseXmlPlistFragment(c.text);
        ASSERT_FALSE(value) << c.text;
        EXPECT_THAT(value.error(), HasSubstr(c.error)) << c.text;
    }
}

TEST(XmlPlistParse, LimitsNestingDepth) {
    EXPECT_TRUE(parseXmlPlistFragment(nestedArrays(64)));
    const auto tooDeep = parseXmlPlistFragment(nestedArrays(65));
    ASSERT_FALSE(tooDeep);
    EXPECT_THAT(tooDeep.error(), HasSubstr("nested deeper than 64 levels"));
    EXPECT_FALSE(parseXmlPlistFragment(nestedArrays(200'000)));
}

}  // namespace
}  // namespace lidora::vmac
