#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "tests/support/Files.h"
#include "tests/support/ProcessRunner.h"
#include "tests/support/TempDir.h"

using ::testing::HasSubstr;
using ::testing::IsEmpty;

namespace lidora {
namespace {

class DefaultsCommand : public ::testing::Test {
protected:
    testing::ProcessResult defaults(std::vector<std::string> arguments, std::vector<std::string> prefix = {}) {
        arguments.insert(arguments.begin(), DEFAULTS_BIN);
        arguments.insert(arguments.begin(), prefix.begin(), prefix.end());
        return testing::runProcess(arguments, {{"VMAC_ROOT", root.path().string()}});
    }
    // Runs a command that must succeed, returning what it printed.
    std::string ok(std::vector<std::string> arguments) {
        const auto result = defaults(std::move(arguments));
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_THAT(result.err, IsEmpty());
        return result.out;
    }
    [[nodiscard]] std::filesystem::path preferences() const {
        // The tests run as root, whose home on the virtual Mac is var/root.
        return root.path() / "var" / "root" / "Library" / "Preferences";
    }
    [[nodiscard]] std::string fileText(const std::string& domain) const {
        return testing::readFile(preferences() / (domain + ".json"));
    }

    testing::TempDir root;
};

TEST_F(DefaultsCommand, WritesTypedValuesAndReadsThemBackLikeMacOS) {
    ok({"write", "com.apple.CoreBrightness", "LEPWMBrightnessNitsMapping",
        "<array><array><real>0</real><real>0</real></array><array><real>1</real><real>500</real></array></array>"});
    EXPECT_EQ(ok({"read", "com.apple.CoreBrightness", "LEPWMBrightnessNitsMapping"}),
              "(\n        (\n        0,\n        0\n    ),\n        (\n        1,\n        500\n    )\n)\n");

    const std::vector<std::tuple<std::vector<std::string>, std::string, std::string>> cases = {
        {{"-int", "42"}, "42\n", "Type is integer\n"},
        {{"-float", "1"}, "1\n", "Type is float\n"},
        {{"-bool", "YES"}, "1\n", "Type is boolean\n"},
        {{"-string", "-int"}, "-int\n", "Type is string\n"},
        {{"plain text"}, "plain text\n", "Type is string\n"},
        {{"-array", "a b", "-int", "2", "<real>0.5</real>"},
         "(\n    \"a b\",\n    2,\n    \"0.5\"\n)\n",
         "Type is array\n"},
        {{"-dict", "k", "v", "n", "-float", "0.5"}, "{\n    k = v;\n    n = \"0.5\";\n}\n", "Type is dictionary\n"},
        {{"(one, \"two words\")"}, "(\n    one,\n    \"two words\"\n)\n", "Type is array\n"},
    };
    for (const auto& [value, printed, type] : cases) {
        std::vector<std::string> command{"write", "com.example", "key"};
        command.insert(command.end(), value.begin(), value.end());
        ok(command);
        EXPECT_EQ(ok({"read", "com.example", "key"}), printed) << value.front();
        EXPECT_EQ(ok({"read-type", "com.example", "key"}), type) << value.front();
    }
}

TEST_F(DefaultsCommand, ArrayAddAndDictAddExtendExistingValues) {
    ok({"write", "com.example", "list", "-array-add", "a"});
    ok({"write", "com.example", "list", "-array-add", "b", "-int", "3"});
    EXPECT_EQ(ok({"read", "com.example", "list"}), "(\n    a,\n    b,\n    3\n)\n");
    ok({"write", "com.example", "map", "-dict", "a", "1"});
    ok({"write", "com.example", "map", "-dict-add", "b", "-bool", "yes"});
    EXPECT_EQ(ok({"read", "com.example", "map"}), "{\n    a = 1;\n    b = 1;\n}\n");

    ok({"write", "com.example", "scalar", "-int", "1"});
    const std::string before = fileText("com.example");
    const auto refused = defaults({"write", "com.example", "scalar", "-array-add", "x"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_THAT(refused.err, HasSubstr("is not an array"));
    EXPECT_EQ(fileText("com.example"), before);
}

TEST_F(DefaultsCommand, ReadsListsAndDeletesKeysAndDomains) {
    ok({"write", "com.b", "z", "-int", "1"});
    ok({"write", "com.b", "a", "text"});
    ok({"write", "com.a", "k", "v"});
    EXPECT_EQ(ok({"read", "com.b"}), "{\n    a = text;\n    z = 1;\n}\n");
    EXPECT_EQ(ok({"domains"}), "com.a, com.b\n");
    ok({"delete", "com.b", "z"});
    EXPECT_EQ(ok({"read", "com.b"}), "{\n    a = text;\n}\n");
    ok({"delete", "com.b"});
    ok({"delete", "com.a"});
    EXPECT_EQ(defaults({"read", "com.b"}).status, 1);
    EXPECT_EQ(ok({"domains"}), "\n");
}

TEST_F(DefaultsCommand, MissingKeysAndDomainsAreReportedExactly) {
    const std::pair<std::vector<std::string>, const char*> cases[] = {
        {{"read", "com.none"}, "Domain com.none does not exist\n"},
        {{"read-type", "com.none", "key"}, "The domain/default pair of (com.none, key) does not exist\n"},
        {{"delete", "com.none"}, "Domain (com.none) not found.\nDefaults have not been changed.\n"},
    };
    for (const auto& [command, message] : cases) {
        const auto result = defaults(command);
        EXPECT_EQ(result.status, 1) << message;
        EXPECT_EQ(result.err, message);
        EXPECT_THAT(result.out, IsEmpty());
    }
}

TEST_F(DefaultsCommand, BadInputFailsClearlyAndWritesNothing) {
    ok({"write", "com.example", "kept", "-int", "5"});
    const std::string before = fileText("com.example");
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"write", "com.example", "n", "-int", "5.5"}, "\"5.5\" is not an integer"},
        {{"write", "com.example", "n", "-float", "1e999"}, "out of range"},
        {{"write", "com.example", "n", "-bool", "maybe"}, "is not a Boolean"},
        {{"write", "com.example", "n", "-int"}, "-int needs a value"},
        {{"write", "com.example", "n", "-string", "a", "b"}, "unexpected argument \"b\""},
        {{"write", "com.example", "n", "-dict", "k"}, "key \"k\" has no value"},
        {{"write", "com.example", "n", "<array><integer>x</integer></array>"}, "line 1, column 17"},
        {{"write", "com.example", "n", "bad\xFF"}, "UTF-8"},
        {{"write", "com.example", "n"}, "write takes a domain, a key and a value"},
        {{"write", "../escape", "n", "v"}, "starts with '.'"},
        {{"write", "a/b", "n", "v"}, "contains '/'"},
    };
    for (const auto& [command, error] : cases) {
        const auto result = defaults(command);
        EXPECT_EQ(result.status, 1) << error;
        EXPECT_THAT(result.err, HasSubstr(error));
        EXPECT_THAT(result.out, IsEmpty());
    }
    EXPECT_EQ(fileText("com.example"), before);
    EXPECT_FALSE(std::filesystem::exists(root.path() / "a"));
    EXPECT_FALSE(std::filesystem::exists(root.path() / "var" / "root" / "Library" / "escape.json"));
}

TEST_F(DefaultsCommand, CorruptDomainIsKeptAsideOnWrite) {
    std::filesystem::create_directories(preferences());
    std::ofstream(preferences() / "com.example.json") << "garbage";
    const auto read = defaults({"read", "com.example", "a"});
    EXPECT_EQ(read.status, 1);
    EXPECT_THAT(read.err, HasSubstr("is not a preferences domain"));

    const auto written = defaults({"write", "com.example", "a", "-int", "1"});
    EXPECT_EQ(written.status, 0);
    EXPECT_THAT(written.err, HasSubstr("aside as " + (preferences() / "com.example.json.corrupt-").string()));
    EXPECT_EQ(ok({"read", "com.example", "a"}), "1\n");
}

TEST_F(DefaultsCommand, UnprivilegedUserWritesIntoItsOwnHomeUnderSharedUsers) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to run as another user";
    }
    std::filesystem::permissions(root.path(), std::filesystem::perms(0777));  // so the user can add Users
    const auto written = defaults({"write", "com.example", "a", "1"},
                                  {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
    EXPECT_EQ(written.status, 0) << written.err;
    EXPECT_TRUE(
        std::filesystem::exists(root.path() / "Users" / "nobody" / "Library" / "Preferences" / "com.example.json"));
    EXPECT_EQ(std::filesystem::status(root.path() / "Users").permissions(), std::filesystem::perms(01777));
    EXPECT_FALSE(std::filesystem::exists(preferences()));
}

TEST_F(DefaultsCommand, AHomeSquattedByAnotherUserIsRefused) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to plant a home owned by someone else";
    }
    std::filesystem::permissions(root.path(), std::filesystem::perms(0755));
    const auto users = root.path() / "Users";
    std::filesystem::create_directories(users);
    std::filesystem::permissions(users, std::filesystem::perms(01777));
    const auto home = users / "nobody";
    std::filesystem::create_directory(home);
    std::filesystem::permissions(home, std::filesystem::perms(0777));
    ASSERT_EQ(::chown(home.c_str(), 4242, 4242), 0);

    const std::vector<std::string> asNobody{"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
    for (const auto& arguments : {std::vector<std::string>{"write", "com.example", "a", "1"},
                                  std::vector<std::string>{"read", "com.example"}}) {
        const auto refused = defaults(arguments, asNobody);
        EXPECT_EQ(refused.status, 1);
        EXPECT_THAT(refused.err, HasSubstr("refusing " + home.string() + ": it belongs to uid 4242"));
    }
    EXPECT_TRUE(std::filesystem::is_empty(home));
}

TEST_F(DefaultsCommand, OtherUsersCannotHoldRootsDomainLocks) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to own a domain and run a holder as another user";
    }
    ok({"write", "com.apple.CoreBrightness", "a", "1"});
    // Open the way to the lock file so only its own mode stands in the way.
    for (auto folder = preferences(); folder != root.path(); folder = folder.parent_path()) {
        std::filesystem::permissions(folder, std::filesystem::perms::others_exec, std::filesystem::perm_options::add);
    }
    const auto lockFile = preferences() / "com.apple.CoreBrightness.json.lock";
    const auto held = testing::runProcess({"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups",
                                           "/usr/bin/flock", "--nonblock", "--exclusive", lockFile.string(), "true"});
    EXPECT_NE(held.status, 0);
    EXPECT_THAT(held.err, HasSubstr("Permission denied"));
    ok({"write", "com.apple.CoreBrightness", "a", "2"});
    EXPECT_EQ(ok({"read", "com.apple.CoreBrightness", "a"}), "2\n");
}

TEST_F(DefaultsCommand, UsageGoesToStderrExceptWhenAskedFor) {
    const auto help = defaults({"help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_THAT(help.out, HasSubstr("usage"));
    for (const auto& command : std::vector<std::vector<std::string>>{{}, {"frobnicate"}, {"domains", "x"}}) {
        const auto result = defaults(command);
        EXPECT_EQ(result.status, 1);
        EXPECT_THAT(result.err, HasSubstr("usage"));
        EXPECT_THAT(result.out, IsEmpty());
    }
}

}  // namespace
}  // namespace lidora
