#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>

#include "platform/prefs/PreferenceStore.h"
#include "platform/vmac/AtomicFile.h"
#include "tests/support/Files.h"
#include "tests/support/TempDir.h"

using ::testing::HasSubstr;

namespace lidora::vmac {
namespace {

constexpr std::chrono::milliseconds kNoWait{0};

// Holds the lock through a description of its own, as another process would.
class Holder {
public:
    explicit Holder(const std::filesystem::path& file) : fd_(::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)) {
        EXPECT_TRUE(fd_.valid());
        EXPECT_EQ(::flock(fd_.get(), LOCK_EX | LOCK_NB), 0);
    }

private:
    FileDescriptor fd_;
};

class FileLockTest : public ::testing::Test {
protected:
    [[nodiscard]] std::filesystem::path lockFile() const { return temp.path() / "domain.json.lock"; }
    testing::TempDir temp;
};

TEST_F(FileLockTest, GivesUpOnALockHeldElsewhere) {
    const Holder holder(lockFile());
    const auto lock = FileLock::acquire(lockFile(), kNoWait);
    ASSERT_FALSE(lock);
    EXPECT_THAT(lock.error(), HasSubstr("is locked by another process"));
}

TEST_F(FileLockTest, ADomainLockedElsewhereIsLeftUnchanged) {
    auto domain = PreferenceDomain::open(PreferencesDirectory(temp.path()), "com.example.app").value();
    ASSERT_TRUE(domain.set("kept", 1));
    const auto before = testing::readFile(domain.file());
    const Holder holder(temp.path() / "com.example.app.json.lock");
    domain.setLockWait(kNoWait);

    const auto written = domain.set("kept", 2);
    ASSERT_FALSE(written);
    EXPECT_THAT(written.error(), HasSubstr("the preferences of com.example.app cannot be changed"));
    EXPECT_THAT(written.error(), HasSubstr("locked by another process"));
    EXPECT_EQ(testing::readFile(domain.file()), before);
    EXPECT_FALSE(std::filesystem::exists(temp.path() / "com.example.app.json.tmp"));
}

TEST_F(FileLockTest, RootsOwnLockFilesAreForRootAlone) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root: only root's folders get root-only lock files";
    }
    ASSERT_TRUE(FileLock::acquire(lockFile(), kNoWait));
    struct stat info {};
    ASSERT_EQ(::stat(lockFile().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
    // One an earlier version left readable by others is made private.
    ASSERT_EQ(::chmod(lockFile().c_str(), 0644), 0);
    ASSERT_TRUE(FileLock::acquire(lockFile(), kNoWait));
    ASSERT_EQ(::stat(lockFile().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
}

TEST_F(FileLockTest, RefusesLockFilesOthersControl) {
    struct Case {
        const char* name;
        bool needsRoot;
        std::function<void(const std::filesystem::path&, const std::filesystem::path&)> plant;
        const char* error;
    };
    const Case cases[] = {
        {"symbolic link", false,
         [](const auto& file, const auto& folder) {
             testing::writeFile(folder / "elsewhere", "");
             std::filesystem::create_symlink(folder / "elsewhere", file);
         },
         "symbolic link"},
        {"FIFO", false, [](const auto& file, const auto&) { ::mkfifo(file.c_str(), 0600); }, "not a regular file"},
        {"owned by another user", true,
         [](const auto& file, const auto&) {
             testing::writeFile(file, "");
             ::chmod(file.c_str(), 0600);
             EXPECT_EQ(::chown(file.c_str(), 4242, 4242), 0);
         },
         "belongs to uid 4242"},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        if (test.needsRoot && ::geteuid() != 0) {
            continue;
        }
        const testing::TempDir folder;
        const auto file = folder.path() / "domain.json.lock";
        test.plant(file, folder.path());
        const auto lock = FileLock::acquire(file, kNoWait);
        ASSERT_FALSE(lock);
        EXPECT_THAT(lock.error(), HasSubstr(test.error));
    }
}

}  // namespace
}  // namespace lidora::vmac
