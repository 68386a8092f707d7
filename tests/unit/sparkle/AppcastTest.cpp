#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/sparkle/Appcast.h"
#include "platform/sparkle/BundleVersion.h"

namespace lidora::testing {
namespace {

using ::testing::HasSubstr;

TEST(BundleVersionTest, ComparesByNumericComponents) {
    struct Case {
        const char* a;
        const char* b;
        int expected;
    };
    const Case cases[] = {
        {"15", "14", 1},
        {"9", "10", -1},
        {"1.2", "1.2.0", 0},
        {"1.10", "1.9", 1},
        {"1.0.3", "1.0", 1},
        {"2", "10", -1},
        {"", "0", 0},
        {"1.a", "1.1", 1},
        {"1.b", "1.a", 1},
        {"100000000000", "99", 1},
        {"1..2", "1.0.2", 0},
        // Builds past 64 bits are numbers too.
        {"99999999999999999999", "100000000000000000000", -1},
        {"0018446744073709551616", "18446744073709551616.0", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.a) + " vs " + c.b);
        const auto order = vmac::compareBundleVersions(c.a, c.b);
        EXPECT_EQ(order < 0 ? -1 : order > 0 ? 1 : 0, c.expected);
    }
}

TEST(BundleVersionTest, NextVersionRaisesTheLastComponent) {
    const std::pair<const char*, const char*> cases[] = {
        {"14", "15"},
        {"1.0.9", "1.0.10"},
        {"1.beta", "1"},
        {"", "1"},
        {"1.", "1.1"},
        {"2.099", "2.100"},
        {"18446744073709551615", "18446744073709551616"},
        {"1.99999999999999999999", "1.100000000000000000000"},
    };
    for (const auto& [version, next] : cases) {
        EXPECT_EQ(vmac::nextBundleVersion(version), next) << version;
    }
}

TEST(AppcastTest, ReadsVersionsFromElementsOrEnclosures) {
    const auto appcast = vmac::parseAppcast(R"(<?xml version="1.0"?>
<rss version="2.0" xmlns:s="http://www.andymatuschak.org/xml-namespaces/sparkle">
  <channel>
    <title>Lidora &amp; friends</title>
    <item><title>One</title><s:version> 15 </s:version><s:shortVersionString>1.0.4</s:shortVersionString></item>
    <item><enclosure url="file:///x.zip" s:version="17" s:shortVersionString="1.1"/></item>
    <item><s:version>16</s:version></item>
  </channel>
</rss>)");
    ASSERT_TRUE(appcast) << appcast.error();
    EXPECT_EQ(appcast->title, "Lidora & friends");
    ASSERT_EQ(appcast->items.size(), 3U);
    EXPECT_EQ(appcast->items[0].versionString, "15");
    EXPECT_EQ(appcast->items[1].displayVersionString, "1.1");
    EXPECT_EQ(appcast->items[2].displayVersionString, "16");
    EXPECT_EQ(vmac::newestItem(*appcast)->versionString, "17");
}

TEST(AppcastTest, RendersWhatItParses) {
    const vmac::Appcast original{"A <b> & \"c\"", {{"15", "1.0.4"}, {"2.0", "2 & more\r\nlines"}}};
    const auto parsed = vmac::parseAppcast(vmac::renderAppcast(original));
    ASSERT_TRUE(parsed) << parsed.error();
    EXPECT_EQ(parsed->title, original.title);
    ASSERT_EQ(parsed->items.size(), 2U);
    EXPECT_EQ(parsed->items[1].displayVersionString, "2 & more\r\nlines");
}

TEST(AppcastTest, MalformedFeedsGiveClearErrors) {
    struct Case {
        const char* text;
        const char* error;
    };
    const Case cases[] = {
        {"", "line 1"},
        {"<rss><channel><item>", "line 1"},
        {"<feed/>", "no RSS feed"},
        {"<rss/>", "no <channel>"},
        {"<rss><channel>\n<item><title>x</title></item></channel></rss>", "line 2: an item has no sparkle:version"},
        {"<rss xmlns:sparkle=\"http://www.andymatuschak.org/xml-namespaces/sparkle\"><channel><item>"
         "<sparkle:version> \n </sparkle:version></item></channel></rss>",
         "an item has no sparkle:version"},
        {"<rss><channel><item><sparkle:version>1</sparkle:version></item></channel></rss>", "unbound prefix"},
        {"<!DOCTYPE r [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">"
         "<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\"><!ENTITY d \"&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;\">"
         "<!ENTITY e \"&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;\"><!ENTITY f \"&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;\">"
         "<!ENTITY g \"&f;&f;&f;&f;&f;&f;&f;&f;&f;&f;\">]><rss><channel><title>&g;</title></channel></rss>",
         "line"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const auto parsed = vmac::parseAppcast(c.text);
        ASSERT_FALSE(parsed);
        EXPECT_THAT(parsed.error(), HasSubstr(c.error));
    }
}

}  // namespace
}  // namespace lidora::testing
