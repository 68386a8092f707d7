#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "platform/prefs/XmlPlist.h"
#include "tests/unit/prefs/PrintValue.h"

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

TEST(XmlPlistParse, ReadsEveryTypeNestedWithWhitespaceAndComments) {
    const auto value = parseXmlPlistFragment(R"(
        <dict>
            <key>count</key> <integer> -12 </integer>
            <key>table</key> <array><array><real>0</real><real>500</real></array></array>
            <key>on</key> <true/>
            <key>off</key> <false></false>
            <!-- comments are skipped -->
            <key>name</key> <string>Lid &amp; &lt;logo&gt; &quot;x&quot; &apos;y&apos; &#233;&#x41;</string>
            <key>empty</key> <string/>
            <key>map</key> <dict><key>big</key><integer>9223372036854775807</integer></dict>
        </dict>)");
    ASSERT_TRUE(value) << value.error();
    const PreferenceValue expected(PreferenceDictionary{
        {"count", -12},
        {"table", PreferenceArray{PreferenceArray{0.0, 500.0}}},
        {"on", true},
        {"off", false},
        {"name", "Lid & <logo> \"x\" 'y' \u00e9A"},
        {"empty", ""},
        {"map", PreferenceDictionary{{"big", std::int64_t{9223372036854775807}}}},
    });
    EXPECT_EQ(*value, expected);
    EXPECT_TRUE(value->asDictionary()->at("table").asArray()->front().asArray()->front().isDouble());
}

TEST(XmlPlistParse, MalformedOrTooDeepFragmentsFailSayingWhere) {
    const std::pair<std::string, const char*> cases[] = {
        {"", "no element"},
        {"<array></dict>", "line 1, column 8: expected </array>"},
        {"<dict><key>a</key></dict>", "key \"a\" has no value"},
        {"<key>a</key>", "<key> belongs only in a <dict>"},
        {"<integer>12abc</integer>", "line 1, column 10: \"12abc\" is not an integer"},
        {"<integer>9223372036854775808</integer>", "out of the 64-bit integer range"},
        {"<real>nan</real>", "not a finite number"},
        {"<true/><false/>", "unexpected text after the element"},
        {"<string a=\"1\">x</string>", "attributes are not supported"},
        {"<string>&nbsp;</string>", "unknown entity &nbsp;"},
        {"<string>a & b</string>", "must start an entity"},
        {"<date>2024-01-01T00:00:00Z</date>", "<date> values are not supported"},
        {"\n  <array>\n<true>", "line 3, column 7: expected </true>"},
        {nestedArrays(65), "nested deeper than 64 levels"},
        {nestedArrays(200'000), "nested deeper than 64 levels"},
    };
    for (const auto& [text, error] : cases) {
        const auto value = parseXmlPlistFragment(text);
        ASSERT_FALSE(value) << text.substr(0, 40);
        EXPECT_THAT(value.error(), HasSubstr(error)) << text.substr(0, 40);
    }
    EXPECT_TRUE(parseXmlPlistFragment(nestedArrays(64)));
}

}  // namespace
}  // namespace lidora::vmac
