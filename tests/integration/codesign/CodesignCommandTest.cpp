#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "tests/support/ProcessRunner.h"
#include "tests/support/TempDir.h"

using ::testing::HasSubstr;
using ::testing::MatchesRegex;

namespace lidora {
namespace {

class CodesignCommand : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::copy_file("/bin/sleep", program);
        std::filesystem::copy_file("/bin/sleep", other);
    }
    testing::ProcessResult vmac(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), {VMAC_BIN, "codesign"});
        return testing::runProcess(arguments, {{"VMAC_ROOT", root.path().string()}});
    }
    testing::ProcessResult sign(const std::filesystem::path& path, const std::string& team = "K7QX4N2M9T") {
        return vmac({"--identifier", "com.zelquin.lidora", "--team", team, path.string()});
    }
    std::filesystem::path database() const { return root.path() / "var" / "db" / "codesign" / "signatures.json"; }

    testing::TempDir root;
    testing::TempDir files;
    std::filesystem::path program = files.path() / "helper";
    std::filesystem::path other = files.path() / "other";
};

TEST_F(CodesignCommand, SignsVerifiesAndRemoves) {
    const auto signed_ = sign(program);
    ASSERT_EQ(signed_.status, 0) << signed_.err;
    EXPECT_THAT(signed_.out, HasSubstr(program.string() + ": signed\n"));

    const auto verified = vmac({"--verify", program.string()});
    EXPECT_EQ(verified.status, 0) << verified.err;
    EXPECT_THAT(verified.out, MatchesRegex(program.string() + ": valid on disk\nIdentifier=com\\.zelquin\\.lidora\n"
                                                              "TeamIdentifier=K7QX4N2M9T\nSha256=[0-9a-f]{64}\n"));

    const auto removed = vmac({"--remove", program.string()});
    EXPECT_EQ(removed.status, 0) << removed.err;
    const auto unsigned_ = vmac({"--verify", program.string()});
    EXPECT_EQ(unsigned_.status, 1);
    EXPECT_EQ(unsigned_.err, program.string() + ": code object is not signed at all\n");
    EXPECT_EQ(unsigned_.out, "");
    EXPECT_EQ(vmac({"--remove", program.string()}).status, 1);

    ASSERT_EQ(vmac({"--identifier", "com.example.tool", program.string()}).status, 0);
    EXPECT_THAT(vmac({"--verify", program.string()}).out, HasSubstr("\nTeamIdentifier=not set\n"));
}

TEST_F(CodesignCommand, EachFileIsReportedAndAnyFailureFails) {
    ASSERT_EQ(sign(program).status, 0);
    std::ofstream(other, std::ios::app) << "tail";
    const auto verified = vmac({"--verify", program.string(), other.string()});
    EXPECT_EQ(verified.status, 1);
    EXPECT_THAT(verified.out, HasSubstr(program.string() + ": valid on disk"));
    EXPECT_EQ(verified.err, other.string() + ": code object is not signed at all\n");

    ASSERT_EQ(sign(other).status, 0);
    std::ofstream(other, std::ios::app) << "more";
    EXPECT_EQ(vmac({"--verify", other.string()}).err,
              other.string() + ": invalid signature (code or signature have been modified)\n");

    const auto missing = sign(files.path() / "missing");
    EXPECT_EQ(missing.status, 1);
    EXPECT_THAT(missing.err, HasSubstr("cannot find"));
}

TEST_F(CodesignCommand, AnUntrustedDatabaseSignsNothing) {
    ASSERT_EQ(sign(program).status, 0);
    ::chmod(database().c_str(), 0666);
    const auto verified = vmac({"--verify", program.string()});
    EXPECT_EQ(verified.status, 1);
    EXPECT_THAT(verified.err, HasSubstr("not signed at all (the signature database is not trusted: "));
    EXPECT_THAT(verified.err, HasSubstr("writable by group or others"));
    EXPECT_EQ(sign(other).status, 1);
}

TEST_F(CodesignCommand, UsageErrorsAndHelp) {
    const auto help = vmac({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_THAT(help.out, HasSubstr("usage: vmac codesign"));
    const std::pair<std::vector<std::string>, const char*> misuses[] = {
        {{}, "no file given"},
        {{program.string()}, "needs --identifier"},
        {{"--identifier"}, "needs a value"},
        {{"--identifier", "has space", program.string()}, "not a valid identifier"},
        {{"--verify", "--remove", program.string()}, "exclude each other"},
        {{"--deep", program.string()}, "unknown option --deep"},
    };
    for (const auto& [arguments, reason] : misuses) {
        const auto result = vmac(arguments);
        EXPECT_EQ(result.status, 64) << reason;
        EXPECT_THAT(result.err, HasSubstr(reason));
    }
    EXPECT_FALSE(std::filesystem::exists(database()));
}

}  // namespace
}  // namespace lidora
