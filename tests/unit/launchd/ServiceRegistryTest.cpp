#include <gtest/gtest.h>

#include <fstream>

#include "core/ports/DaemonService.h"
#include "platform/launchd/ServiceRegistry.h"
#include "platform/launchd/ServiceTrust.h"
#include "tests/support/TempDir.h"

namespace lidora::vmac {
namespace {

const std::filesystem::path kPlist = "/Applications/Lidora.app/Contents/Library/LaunchDaemons/com.x.helper.plist";

ServiceRecords recordsWith(RegistrationState state, std::vector<ServiceApproval> approvals = {}) {
    return {{{"com.x.helper", kPlist, "/Applications/Lidora.app", "com.x", state}}, std::move(approvals)};
}

TEST(ServiceStatus, FollowsTheRecordAndThePropertyList) {
    EXPECT_EQ(serviceStatus({}, kPlist, true), DaemonService::notRegistered);
    EXPECT_EQ(serviceStatus({}, kPlist, false), DaemonService::notFound);
    EXPECT_EQ(serviceStatus(recordsWith(RegistrationState::requiresApproval), kPlist, true),
              DaemonService::requiresApproval);
    EXPECT_EQ(serviceStatus(recordsWith(RegistrationState::enabled), kPlist, true), DaemonService::enabled);
    EXPECT_EQ(serviceStatus(recordsWith(RegistrationState::enabled), kPlist, false), DaemonService::notFound)
        << "a registered daemon whose list is gone can't run";
    EXPECT_EQ(
        serviceStatus(recordsWith(RegistrationState::enabled), "/Other.app/Contents/Library/LaunchDaemons/x", true),
        DaemonService::notRegistered)
        << "another bundle's registration is not ours";
}

TEST(ServiceStatus, ApprovalBelongsToTheLabelAndTheApp) {
    const auto records = recordsWith(RegistrationState::enabled, {{"com.x.helper", "com.x"}});
    EXPECT_TRUE(records.isApproved("com.x.helper", "com.x"));
    EXPECT_FALSE(records.isApproved("com.x.helper", "com.evil"));
    EXPECT_FALSE(records.isApproved("com.x.other", "com.x"));
}

TEST(ServiceNames, OnlyPlainFileNamesNameAPropertyList) {
    EXPECT_TRUE(isPlainFileName("com.x.helper.plist"));
    for (const auto* bad : {"", ".", "..", "../x.plist", "a/b.plist", "/etc/passwd"}) {
        EXPECT_FALSE(isPlainFileName(bad)) << bad;
    }
    EXPECT_FALSE(isPlainFileName(std::string("a\0b", 3)));
    EXPECT_FALSE(isPlainFileName(std::string(256, 'a')));
    EXPECT_EQ(daemonPlistPath("/A.app", "x.plist"), "/A.app/Contents/Library/LaunchDaemons/x.plist");
}

TEST(ServiceTrust, InsideComparesWholePathComponents) {
    EXPECT_TRUE(isInside("/Applications/Lidora.app/Contents/MacOS/Lidora", "/Applications/Lidora.app"));
    EXPECT_TRUE(isInside("/Applications/Lidora.app/Contents/MacOS/Lidora", "/Applications/Lidora.app/"));
    EXPECT_FALSE(isInside("/Applications/Lidora.app.evil/Contents/MacOS/x", "/Applications/Lidora.app"));
    EXPECT_FALSE(isInside("/Applications/Other.app/x", "/Applications/Lidora.app"));
    EXPECT_FALSE(isInside("relative/Lidora.app/x", "relative/Lidora.app"));
}

TEST(ServiceTrust, RefusesFilesOthersCouldReplace) {
    const testing::TempDir dir;
    const auto file = dir.path() / "job.plist";
    std::ofstream(file) << "x";
    std::filesystem::permissions(file, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    EXPECT_TRUE(checkOnlyAdministratorsCanChange(file).has_value());
    std::filesystem::permissions(file, std::filesystem::perms::others_write, std::filesystem::perm_options::add);
    const auto refused = checkOnlyAdministratorsCanChange(file);
    ASSERT_FALSE(refused.has_value());
    EXPECT_NE(refused.error().find("writable by other users"), std::string::npos);
}

class ServiceRegistryFile : public ::testing::Test {
protected:
    testing::TempDir dir;
    std::vector<std::string> warnings;
    ServiceRegistry registry{dir.path() / "servicemanagement.json",
                             [this](const std::string& warning) { warnings.push_back(warning); }};
};

TEST_F(ServiceRegistryFile, KeepsWhatWasWritten) {
    ASSERT_TRUE(registry.read().has_value());
    EXPECT_TRUE(registry.read()->registrations.empty());
    const auto records = recordsWith(RegistrationState::enabled, {{"com.x.helper", "com.x"}});
    ASSERT_TRUE(registry.update([&](ServiceRecords& current) {
        current = records;
        return true;
    }));
    const auto read = registry.read();
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->registrations, records.registrations);
    EXPECT_EQ(read->approvals, records.approvals);
    EXPECT_EQ(std::filesystem::status(registry.file()).permissions() & std::filesystem::perms::others_read,
              std::filesystem::perms::others_read)
        << "apps read it while launchd is down";
}

TEST_F(ServiceRegistryFile, SetsADamagedFileAsideBeforeWriting) {
    for (const auto* damaged : {"{", R"({"registrations":[{"label":"x"}],"approvals":[]})",
                                R"({"registrations":[{"label":"../x","plist":"/p","bundle":"/b","bundleIdentifier":"",)"
                                R"("state":"enabled"}],"approvals":[]})"}) {
        std::ofstream(registry.file()) << damaged;
        EXPECT_TRUE(registry.read()->registrations.empty()) << damaged;
        EXPECT_FALSE(warnings.empty());
        ASSERT_TRUE(registry.update([](ServiceRecords& records) {
            records.approvals.push_back({"com.x.helper", "com.x"});
            return true;
        }));
        EXPECT_EQ(registry.read()->approvals.size(), 1U);
        std::filesystem::remove(registry.file());
    }
    std::size_t kept = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        kept += entry.path().filename().string().find(".corrupt-") != std::string::npos ? 1 : 0;
    }
    EXPECT_GE(kept, 1U);
}

TEST_F(ServiceRegistryFile, StatusWithoutLaunchdReadsTheRecords) {
    const auto bundle = dir.path() / "Lidora.app";
    const auto plist = daemonPlistPath(bundle, "x.plist");
    std::filesystem::create_directories(plist.parent_path());
    std::ofstream(plist) << "<plist version=\"1.0\"><dict><key>Label</key><string>com.x.helper</string>"
                            "<key>Program</key><string>/bin/true</string></dict></plist>";
    EXPECT_EQ(readServiceStatus(registry, bundle, "x.plist"), DaemonService::notRegistered);
    ASSERT_TRUE(registry.update([&](ServiceRecords& records) {
        records.registrations.push_back({"com.x.helper", plist, bundle, "com.x", RegistrationState::requiresApproval});
        return true;
    }));
    EXPECT_EQ(readServiceStatus(registry, bundle / "Contents" / "..", "x.plist"), DaemonService::requiresApproval)
        << "the bundle path is resolved first";
    EXPECT_EQ(readServiceStatus(registry, dir.path() / "Missing.app", "x.plist"), DaemonService::notFound);
    EXPECT_EQ(readServiceStatus(registry, "relative.app", "x.plist"), DaemonService::notFound);
    EXPECT_EQ(readServiceStatus(registry, dir.path(), "../x.plist"), DaemonService::notFound);
}

}  // namespace
}  // namespace lidora::vmac
