#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/codesign/CodeRequirement.h"

using ::testing::HasSubstr;

namespace lidora::vmac {
namespace {

constexpr const char* kHelperRequirement =
    R"((identifier "com.zelquin.lidora" or identifier "com.zelquin.lidora.control") and anchor apple generic )"
    R"(and certificate leaf[subject.OU] = "K7QX4N2M9T")";

CodeSignature signed_(std::string identifier, std::string team = "K7QX4N2M9T") {
    return CodeSignature{std::move(identifier), std::move(team)};
}

TEST(CodeRequirement, AdmitsExactlyWhatTheTextSays) {
    const std::string chain = [] {
        std::string text = R"(identifier "x")";
        for (int i = 0; i < 300; ++i) {
            text += R"( and anchor apple generic or identifier "y")";
        }
        return text;
    }();
    const std::string nested = std::string(10, '(') + R"(identifier "x")" + std::string(10, ')');
    struct Case {
        std::string requirement;
        std::optional<CodeSignature> code;
        bool admitted;
    };
    const Case cases[] = {
        {kHelperRequirement, signed_("com.zelquin.lidora"), true},
        {kHelperRequirement, signed_("com.zelquin.lidora.control"), true},
        {kHelperRequirement, signed_("com.zelquin.lidora", "OTHERTEAM1"), false},
        {kHelperRequirement, signed_("com.zelquin.lidora", ""), false},
        {kHelperRequirement, signed_("com.zelquin.lidoraX"), false},
        {kHelperRequirement, std::nullopt, false},
        // and binds tighter than or
        {R"(identifier "a" or identifier "b" and anchor apple generic)", signed_("a", ""), true},
        {R"(identifier "a" or identifier "b" and anchor apple generic)", signed_("b", ""), false},
        {R"((identifier "a" or identifier "b") and anchor apple generic)", signed_("a", ""), false},
        {R"(not identifier "x")", signed_("y", ""), true},
        {R"(not identifier "x")", std::nullopt, false},
        {R"(!!identifier "x")", signed_("x"), true},
        {R"(! anchor apple generic)", signed_("x"), false},
        // Ad-hoc code has no leaf certificate, not even one with an empty unit.
        {R"(certificate leaf[subject.OU] = "")", signed_("x", ""), false},
        {R"(certificate leaf [ subject.OU ] = "K7QX4N2M9")", signed_("x"), false},
        {R"(identifier "a\"b\\c")", signed_(R"(a"b\c)"), true},
        {"\n identifier=\t\"x\"\n", signed_("x"), true},
        {R"(identifier "X")", signed_("x"), false},
        {nested, signed_("x"), true},
        {chain, signed_("y", ""), true},
        {chain, signed_("z", ""), false},
    };
    for (const auto& c : cases) {
        const auto requirement = CodeRequirement::parse(c.requirement);
        ASSERT_TRUE(requirement.has_value()) << c.requirement << ": " << requirement.error();
        EXPECT_EQ(requirement->isSatisfiedBy(c.code), c.admitted)
            << c.requirement.substr(0, 80) << " / " << (c.code ? c.code->identifier : "unsigned");
    }
    EXPECT_EQ(CodeRequirement::parse(kHelperRequirement)->text(), kHelperRequirement);
}

TEST(CodeRequirement, MalformedOrHostileTextIsRefusedWithAReason) {
    std::string deepNot;
    for (int i = 0; i < 1000; ++i) {
        deepNot += "not ";
    }
    const std::pair<std::string, const char*> cases[] = {
        {"", "ends where a clause should be"},
        {"identifier com.zelquin.lidora", "expected a quoted string"},
        {R"(identifier "x" or or identifier "y")", "unknown clause 'or'"},
        {R"((identifier "x")", "expected ')'"},
        {R"(identifier "x"))", "expected 'and', 'or' or the end"},
        {"anchor apple", "expected 'generic'"},
        {R"(certificate leaf[subject.CN] = "x")", "expected 'subject.OU'"},
        {R"(info [CFBundleVersion] = "1")", "unknown clause 'info'"},
        {R"(identifier "open)", "not closed"},
        {"identifier \"a\nb\"", "control character"},
        {R"(identifier "x" && identifier "y")", "unexpected character '&'"},
        {R"(identifier "x" and bogus)", "line 1, column 20"},
        {std::string(5000, '(') + R"(identifier "x")" + std::string(5000, ')'), "deeper"},
        {deepNot + R"(identifier "x")", "deeper"},
        {std::string(20000, ' ') + "anchor apple generic", "longer"},
    };
    for (const auto& [text, reason] : cases) {
        const auto requirement = CodeRequirement::parse(text);
        ASSERT_FALSE(requirement.has_value()) << text.substr(0, 40);
        EXPECT_THAT(requirement.error(), HasSubstr(reason)) << text.substr(0, 40);
    }
}

}  // namespace
}  // namespace lidora::vmac
