#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>

#include "platform/prefs/PreferenceStore.h"
#include "platform/prefs/PreferencesDirectory.h"
#include "tests/support/TempDir.h"

using ::testing::HasSubstr;

namespace lidora::vmac {
namespace {

constexpr uid_t kOtherUser = 4242;

TEST(OwnedFolder, OnlyAPrivateFolderOfItsOwnerPasses) {
    struct Case {
        const char* name;
        std::function<void(const std::filesystem::path&)> plant;
        const char* error;  // empty: accepted
    };
    const Case cases[] = {
        {"missing", [](const auto&) {}, ""},
        {"owner only", [](const auto& folder) { ::mkdir(folder.c_str(), 0700); }, ""},
        {"readable by others", [](const auto& folder) { ::mkdir(folder.c_str(), 0755); }, ""},
        {"writable by everyone",
         [](const auto& folder) {
             ::mkdir(folder.c_str(), 0700);
             ::chmod(folder.c_str(), 0777);
         },
         "other users may write in it"},
        {"symbolic link",
         [](const auto& folder) { std::filesystem::create_directory_symlink(folder.parent_path(), folder); },
         "not a folder"},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        const testing::TempDir temp;
        const auto folder = temp.path() / "home";
        test.plant(folder);
        const auto checked = checkOwnedFolder(folder, ::geteuid());
        if (*test.error == '\0') {
            EXPECT_TRUE(checked) << checked.error();
        } else {
            ASSERT_FALSE(checked);
            EXPECT_THAT(checked.error(), HasSubstr(test.error));
        }
    }
}

TEST(OwnedFolder, SomeoneElsesFolderIsRefused) {
    const testing::TempDir temp;
    EXPECT_THAT(checkOwnedFolder(temp.path(), ::geteuid() + 1).error(), HasSubstr("belongs to uid"));
}

TEST(PreferencesDirectoryOfUser, RootMakesEachHomeItsUsersAlone) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to make a home for another user";
    }
    const testing::TempDir root;
    const auto directory = PreferencesDirectory::ofUser(VmacPaths(root.path()), kOtherUser);
    ASSERT_TRUE(directory.create());
    for (const auto& folder :
         {directory.path(), directory.path().parent_path(), directory.path().parent_path().parent_path()}) {
        struct stat info {};
        ASSERT_EQ(::lstat(folder.c_str(), &info), 0);
        EXPECT_EQ(info.st_uid, kOtherUser) << folder;
        EXPECT_EQ(info.st_mode & 07777, 0700u) << folder;
    }
}

TEST(PreferencesDirectoryOfUser, ASquattedHomeIsNeitherReadNorWritten) {
    const testing::TempDir root;
    const VmacPaths paths(root.path());
    const auto directory = PreferencesDirectory::ofUser(paths, ::geteuid());
    const auto home = paths.homeOf(::geteuid());
    std::filesystem::create_directories(directory.path());
    std::filesystem::permissions(home, std::filesystem::perms(0777));

    auto domain = PreferenceDomain::open(directory, "com.example.app").value();
    EXPECT_THAT(domain.load().error(), HasSubstr("other users may write in it"));
    EXPECT_THAT(domain.set("a", 1).error(), HasSubstr("other users may write in it"));
    EXPECT_FALSE(domain.exists());
}

}  // namespace
}  // namespace lidora::vmac
