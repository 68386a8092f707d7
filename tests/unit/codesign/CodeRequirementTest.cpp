#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "codesign/CodeRequirement.h"

using ::testing::HasSubstr;

namespace lidora::vmac {
namespace {

constexpr const char* kHelperRequirement =
    R"((identifier "com.zelquin.lidora" or identifier "com.zelquin.lidora.control") and anchor apple generic )"
    R"(and certificate leaf[subject.OU] = "K7QX4N2M9T")";

CodeRequirement parsed(std::string_view text) {
    auto requirement = CodeRequirement::parse(text);
    EXPECT_TRUE(requirement.has_value()) << text << ": " << (requirement ? "" : requirement.error());
    return requirement ? *requirement : *CodeRequirement::parse(R"(identifier "never.matches")");
}

CodeSignature signed_(std::string identifier, std::string team = "K7QX4N2M9T") {
    return CodeSignature{std::move(identifier), std::move(team)};
}

TEST(CodeRequirement, TheHelpersRequirementAdmitsOnlyOurTwoProgramsFromOurTeam) {
    const auto requirement = parsed(kHelperRequirement);
    EXPECT_TRUE(requirement.isSatisfiedBy(signed_("com.zelquin.lidora")));
    EXPECT_TRUE(requirement.isSatisfiedBy(signed_("com.zelquin.lidora.control")));
    EXPECT_FALSE(requirement.isSatisfiedBy(signed_("com.zelquin.lidora", "OTHERTEAM1")));
    EXPECT_FALSE(requirement.isSatisfiedBy(signed_("com.zelquin.lidora", "")));
    EXPECT_FALSE(requirement.isSatisfiedBy(signed_("com.zelquin.lidora.helper")));
    EXPECT_FALSE(requirement.isSatisfiedBy(signed_("com.zelquin.lidoraX")));
    EXPECT_FALSE(requirement.isSatisfiedBy(std::nullopt));
    EXPECT_EQ(requirement.text(), kHelperRequirement);
}

TEST(CodeRequirement, AndBindsTighterThanOr) {
    const auto requirement = parsed(R"(identifier "a" or identifier "b" and anchor apple generic)");
    EXPECT_TRUE(requirement.isSatisfiedBy(signed_("a", "")));
    EXPECT_FALSE(requirement.isSatisfiedBy(signed_("b", "")));
    EXPECT_TRUE(requirement.isSatisfiedBy(signed_("b")));
    const auto grouped = parsed(R"((identifier "a" or identifier "b") and anchor apple generic)");
    EXPECT_FALSE(grouped.isSatisfiedBy(signed_("a", "")));
}

TEST(CodeRequirement, NegationAnchorsAndUnsignedCode) {
    const auto notX = parsed(R"(not identifier "x")");
    EXPECT_TRUE(notX.isSatisfiedBy(signed_("y", "")));
    EXPECT_FALSE(notX.isSatisfiedBy(signed_("x")));
    EXPECT_FALSE(notX.isSatisfiedBy(std::nullopt));
    EXPECT_TRUE(parsed(R"(!!identifier "x")").isSatisfiedBy(signed_("x")));
    EXPECT_FALSE(parsed(R"(! anchor apple generic)").isSatisfiedBy(signed_("x")));

    const auto anchor = parsed("anchor apple generic");
    EXPECT_TRUE(anchor.isSatisfiedBy(signed_("x", "T")));
    EXPECT_FALSE(anchor.isSatisfiedBy(signed_("x", "")));
    // Ad-hoc code has no leaf certificate, not even one with an empty unit.
    EXPECT_FALSE(parsed(R"(certificate leaf[subject.OU] = "")").isSatisfiedBy(signed_("x", "")));
    EXPECT_FALSE(parsed(R"(certificate leaf[subject.OU] = "K7QX4N2M9")").isSatisfiedBy(signed_("x")));
}

TEST(CodeRequirement, QuotedStringsAndSpacing) {
    EXPECT_TRUE(parsed(R"(identifier "a\"b\\c")").isSatisfiedBy(signed_(R"(a"b\c)")));
    EXPECT_TRUE(parsed(R"(identifier="x")").isSatisfiedBy(signed_("x")));
    EXPECT_TRUE(parsed("\n identifier\t\"x\"\n").isSatisfiedBy(signed_("x")));
    EXPECT_TRUE(parsed(R"(certificate leaf [ subject.OU ] = "T")").isSatisfiedBy(signed_("x", "T")));
    EXPECT_FALSE(parsed(R"(identifier "X")").isSatisfiedBy(signed_("x")));
}

TEST(CodeRequirement, MalformedTextIsRefusedWithAReason) {
    const std::pair<const char*, const char*> cases[] = {
        {"", "ends where a clause should be"},
        {"identifier", "expected a quoted string"},
        {"identifier com.zelquin.lidora", "expected a quoted string"},
        {R"(identifier "x" and)", "ends where a clause should be"},
        {R"(identifier "x" or or identifier "y")", "unknown clause 'or'"},
        {R"((identifier "x")", "expected ')'"},
        {R"(identifier "x"))", "expected 'and', 'or' or the end"},
        {"anchor apple", "expected 'generic'"},
        {R"(certificate leaf[subject.CN] = "x")", "expected 'subject.OU'"},
        {R"(certificate root[subject.OU] = "x")", "expected 'leaf'"},
        {R"(info [CFBundleVersion] = "1")", "unknown clause 'info'"},
        {R"(identifier "open)", "not closed"},
        {"identifier \"a\nb\"", "control character"},
        {R"(identifier "x" && identifier "y")", "unexpected character '&'"},
        {R"(= "x")", "expected a clause"},
    };
    for (const auto& [text, reason] : cases) {
        const auto requirement = CodeRequirement::parse(text);
        ASSERT_FALSE(requirement.has_value()) << text;
        EXPECT_THAT(requirement.error(), HasSubstr(reason)) << text;
    }
    EXPECT_THAT(CodeRequirement::parse(R"(identifier "x" and bogus)").error(), HasSubstr("line 1, column 20"));
}

TEST(CodeRequirement, DepthIsLimitedButLongChainsAreFine) {
    const std::string deepParens = std::string(5000, '(') + R"(identifier "x")" + std::string(5000, ')');
    EXPECT_THAT(CodeRequirement::parse(deepParens).error(), HasSubstr("deeper"));
    std::string deepNot;
    for (int i = 0; i < 1000; ++i) {
        deepNot += "not ";
    }
    EXPECT_THAT(CodeRequirement::parse(deepNot + R"(identifier "x")").error(), HasSubstr("deeper"));
    EXPECT_TRUE(parsed(std::string(10, '(') + R"(identifier "x")" + std::string(10, ')')).isSatisfiedBy(signed_("x")));

    std::string chain = R"(identifier "x")";
    for (int i = 0; i < 300; ++i) {
        chain += R"( and anchor apple generic or identifier "y")";
    }
    EXPECT_TRUE(parsed(chain).isSatisfiedBy(signed_("y", "")));
    EXPECT_FALSE(parsed(chain).isSatisfiedBy(signed_("z", "")));
    EXPECT_THAT(CodeRequirement::parse(std::string(20000, ' ') + "anchor apple generic").error(), HasSubstr("longer"));
}

}  // namespace
}  // namespace lidora::vmac
