#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

#include "core/ports/DaemonService.h"
#include "platform/launchd/ServiceRegistry.h"
#include "platform/launchd/ServiceTrust.h"
#include "tests/support/TempDir.h"

namespace lidora::vmac {
namespace {

const std::filesystem::path kPlist = "/Applications/Lidora.app/Contents/Library/LaunchDaemons/com.x.helper.plist";

const CodeSignature kHelper{"com.x.helper", "K7QX4N2M9T"};

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

TEST(ServiceStatus, ApprovalNamesTheLabelAndTheProgramsTeamSignature) {
    const auto records =
        recordsWith(RegistrationState::enabled, {{"com.x.helper", kHelper}, {"com.x.adhoc", {"com.x.adhoc", ""}}});
    EXPECT_TRUE(records.isApproved("com.x.helper", kHelper));
    const struct {
        const char* label;
        CodeSignature program;
    } refused[] = {
        {"com.x.other", kHelper},
        {"com.x.helper", {"com.x", kHelper.teamID}},
        {"com.x.helper", {kHelper.identifier, "EVILTEAM01"}},
        {"com.x.helper", {kHelper.identifier, ""}},
        {"com.x.adhoc", {"com.x.adhoc", ""}},
    };
    for (const auto& c : refused) {
        EXPECT_FALSE(records.isApproved(c.label, c.program)) << c.label << " " << c.program.identifier;
    }
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

TEST(ServiceTrust, OpensOnlyWithoutSymlinksAndAsOwnershipAllows) {
    const testing::TempDir dir;
    const auto& d = dir.path();
    namespace fs = std::filesystem;
    fs::create_directories(d / "real");
    fs::create_directories(d / "open");
    fs::create_directories(d / "sticky");
    for (const auto* file : {"real/job.plist", "open/job.plist", "sticky/job.plist", "shared.plist"}) {
        std::ofstream(d / file) << "x";
    }
    fs::create_directory_symlink(d / "real", d / "linked");
    fs::create_symlink(d / "real" / "job.plist", d / "leaf.plist");
    fs::permissions(d / "open", fs::perms::all);
    fs::permissions(d / "sticky", fs::perms::all | fs::perms::sticky_bit);
    fs::permissions(d / "shared.plist", fs::perms::group_write, fs::perm_options::add);
    const struct {
        const char* file;
        Ownership ownership;
        const char* refusal;  // empty: opens
    } cases[] = {
        {"real/job.plist", Ownership::administrators, ""},
        {"sticky/job.plist", Ownership::administrators, ""},
        {"linked/job.plist", Ownership::administrators, "is a symbolic link"},
        {"linked/job.plist", Ownership::anyone, "is a symbolic link"},
        {"leaf.plist", Ownership::administrators, "is a symbolic link"},
        {"open/job.plist", Ownership::administrators, "writable by other users"},
        {"open/job.plist", Ownership::anyone, ""},
        {"shared.plist", Ownership::administrators, "writable by other users"},
        {"real", Ownership::anyone, "not a regular file"},
    };
    for (const auto& c : cases) {
        const auto opened = openWithoutSymlinks(d / c.file, c.ownership);
        if (*c.refusal == '\0') {
            EXPECT_TRUE(opened.has_value()) << c.file << ": " << opened.error();
        } else {
            ASSERT_FALSE(opened.has_value()) << c.file;
            EXPECT_NE(opened.error().find(c.refusal), std::string::npos) << c.file << ": " << opened.error();
        }
    }
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown((d / "real" / "job.plist").c_str(), 65534, 65534), 0);
        const auto foreign = openWithoutSymlinks(d / "real" / "job.plist", Ownership::administrators);
        ASSERT_FALSE(foreign.has_value());
        EXPECT_NE(foreign.error().find("belongs to uid 65534"), std::string::npos) << foreign.error();
    }
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
    const auto records = recordsWith(RegistrationState::enabled, {{"com.x.helper", kHelper}});
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

TEST_F(ServiceRegistryFile, ApprovalsOfEarlierVersionsAreReadButMatchNothing) {
    std::ofstream(registry.file()) << R"({"registrations":[],"approvals":[{"label":"com.x.helper",)"
                                      R"("bundleIdentifier":"com.x"}]})";
    const auto read = registry.read();
    ASSERT_TRUE(read.has_value()) << read.error();
    EXPECT_TRUE(warnings.empty()) << "not damaged";
    ASSERT_EQ(read->approvals.size(), 1U);
    EXPECT_FALSE(read->isApproved("com.x.helper", kHelper));
    EXPECT_FALSE(read->isApproved("com.x.helper", {"com.x", ""}));
}

TEST_F(ServiceRegistryFile, SetsADamagedFileAsideBeforeWriting) {
    for (const auto* damaged : {"{", R"({"registrations":[{"label":"x"}],"approvals":[]})",
                                R"({"registrations":[{"label":"../x","plist":"/p","bundle":"/b","bundleIdentifier":"",)"
                                R"("state":"enabled"}],"approvals":[]})"}) {
        std::ofstream(registry.file()) << damaged;
        EXPECT_TRUE(registry.read()->registrations.empty()) << damaged;
        EXPECT_FALSE(warnings.empty());
        ASSERT_TRUE(registry.update([](ServiceRecords& records) {
            records.approvals.push_back({"com.x.helper", kHelper});
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
