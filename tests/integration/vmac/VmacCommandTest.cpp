#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/ProcessRunner.h"
#include "tests/support/TempDir.h"
#include "tests/support/VirtualMac.h"

using ::testing::HasSubstr;

namespace lidora {
namespace {

class VmacCommand : public ::testing::Test {
protected:
    testing::ProcessResult vmac(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), VMAC_BIN);
        return testing::runProcess(arguments, {{"VMAC_ROOT", root.path().string()}});
    }
    testing::TempDir root;
};

TEST_F(VmacCommand, StatusLaysOutTheRootAndDescribesIt) {
    const auto status = vmac({"status"});
    ASSERT_EQ(status.status, 0) << status.err;
    EXPECT_THAT(status.out, HasSubstr("Virtual Mac at " + root.path().string()));
    EXPECT_THAT(status.out, HasSubstr("System: macOS 26.1"));
    EXPECT_THAT(status.out, HasSubstr("Processes: none running"));
    EXPECT_TRUE(std::filesystem::exists(root.path() / "usr" / "bin" / "defaults"));
    EXPECT_EQ(std::filesystem::status(root.path() / "Users").permissions() & std::filesystem::perms::others_write,
              std::filesystem::perms::others_write);
    EXPECT_EQ(vmac({"status", "extra"}).status, 64);
}

TEST_F(VmacCommand, LogPostAndShowFilterByCategoryAndCount) {
    testing::VirtualMac mac(TEST_BIN_DIR);
    mac.boot();  // logd takes the records
    ASSERT_EQ(mac.vmac({"log", "post", "--subsystem", "com.zelquin.lidora", "--category", "helper", "first"}).status,
              0);
    ASSERT_EQ(mac.vmac({"log", "post", "--subsystem", "com.zelquin.lidora", "--category", "app", "other"}).status, 0);
    ASSERT_EQ(mac.vmac({"log", "post", "--subsystem", "com.zelquin.lidora", "--category", "helper", "--level", "Fault",
                        "second"})
                  .status,
              0);
    const auto helper = mac.vmac({"log", "show", "--subsystem", "com.zelquin.lidora", "--category", "helper"});
    ASSERT_EQ(helper.status, 0) << helper.err;
    EXPECT_THAT(helper.out, HasSubstr("[com.zelquin.lidora:helper] first\n"));
    EXPECT_THAT(helper.out, HasSubstr("Fault"));
    EXPECT_THAT(helper.out, Not(HasSubstr("other")));
    const auto last = mac.vmac({"log", "show", "--category", "helper", "--last", "1", "--style", "json"});
    EXPECT_THAT(last.out, HasSubstr("\"message\":\"second\""));
    EXPECT_THAT(last.out, Not(HasSubstr("first")));
    EXPECT_THAT(mac.vmac({"log", "show", "--last", "soon"}).err, HasSubstr("--last"));
}

TEST_F(VmacCommand, EverySubcommandHasHelpAndUnknownOnesFail) {
    for (const auto* command : {"status", "log", "defaults", "ui"}) {
        const auto help = vmac({command, "--help"});
        EXPECT_EQ(help.status, 0) << command;
        EXPECT_THAT(help.out, HasSubstr("usage")) << command;
    }
    EXPECT_EQ(vmac({"--help"}).status, 0);
    EXPECT_EQ(vmac({"frobnicate"}).status, 64);
}

}  // namespace
}  // namespace lidora
