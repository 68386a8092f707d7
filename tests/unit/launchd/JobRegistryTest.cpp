#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>

#include "platform/launchd/JobRegistry.h"
#include "tests/support/Files.h"
#include "tests/support/TempDir.h"

using ::testing::HasSubstr;

namespace lidora::vmac {
namespace {

using testing::readFile;

TEST(JobRegistry, KeepsJobsAcrossInstancesReplacingByLabel) {
    testing::TempDir root;
    const auto registry = JobRegistry::of(VmacPaths(root.path()));
    EXPECT_TRUE(registry.jobs()->empty());

    JobRegistry writer = registry;
    ASSERT_TRUE(writer.add({"com.a", "/x/a.plist"}));
    ASSERT_TRUE(writer.add({"com.b", "/x/b.plist"}));
    ASSERT_TRUE(writer.add({"com.a", "/y/a.plist"}));

    const JobRegistry reader(registry.file());
    EXPECT_EQ(*reader.jobs(), (std::vector<RegisteredJob>{{"com.a", "/y/a.plist"}, {"com.b", "/x/b.plist"}}));

    const auto byPath = writer.remove("/x/b.plist");
    ASSERT_TRUE(byPath);
    EXPECT_EQ(byPath->value().label, "com.b");
    const auto byLabel = writer.remove("com.a");
    ASSERT_TRUE(byLabel && *byLabel);
    const auto missing = writer.remove("com.a");
    ASSERT_TRUE(missing);
    EXPECT_FALSE(*missing);
    EXPECT_TRUE(reader.jobs()->empty());
    EXPECT_FALSE(std::filesystem::exists(registry.file().string() + ".tmp"));
}

TEST(JobRegistry, DamagedFileReadsEmptyAndIsKeptAsideBeforeBeingReplaced) {
    testing::TempDir root;
    std::vector<std::string> warnings;
    JobRegistry registry =
        JobRegistry::of(VmacPaths(root.path()), [&](const std::string& w) { warnings.push_back(w); });
    std::filesystem::create_directories(registry.file().parent_path());

    for (const char* damaged : {"{\"jobs\": [", "[1,2]", R"({"jobs":[{"label":"../x","plist":"/a.plist"}]})",
                                R"({"jobs":[{"label":"com.a","plist":"relative.plist"}]})"}) {
        std::ofstream(registry.file()) << damaged;
        EXPECT_TRUE(registry.jobs()->empty()) << damaged;
        EXPECT_EQ(readFile(registry.file()), damaged) << "reading must not touch the file";
    }
    ASSERT_FALSE(warnings.empty());
    EXPECT_THAT(warnings.back(), HasSubstr("damaged"));

    ASSERT_TRUE(registry.add({"com.a", "/x/a.plist"}));
    EXPECT_EQ(*registry.jobs(), (std::vector<RegisteredJob>{{"com.a", "/x/a.plist"}}));
    std::vector<std::filesystem::path> kept;
    for (const auto& entry : std::filesystem::directory_iterator(registry.file().parent_path())) {
        if (entry.path().filename().string().find(".corrupt-") != std::string::npos) {
            kept.push_back(entry.path());
        }
    }
    ASSERT_EQ(kept.size(), 1U);
    EXPECT_EQ(readFile(kept.front()), R"({"jobs":[{"label":"com.a","plist":"relative.plist"}]})");
}

TEST(JobRegistry, UnwritableFolderIsAnErrorAndChangesNothing) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root writes anywhere";
    }
    testing::TempDir root;
    JobRegistry registry = JobRegistry::of(VmacPaths(root.path()));
    ASSERT_TRUE(registry.add({"com.a", "/x/a.plist"}));
    std::filesystem::permissions(registry.file().parent_path(),
                                 std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    EXPECT_FALSE(registry.add({"com.b", "/x/b.plist"}));
    EXPECT_EQ(registry.jobs()->size(), 1U);
    std::filesystem::permissions(registry.file().parent_path(), std::filesystem::perms::owner_all);
}

}  // namespace
}  // namespace lidora::vmac
