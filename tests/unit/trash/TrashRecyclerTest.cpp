#include <gmock/gmock.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <thread>

#include "platform/trash/TrashRecycler.h"
#include "tests/support/Files.h"
#include "tests/support/TempDir.h"

namespace lidora::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
namespace fs = std::filesystem;

std::tm fourFortyTwo() {
    std::tm time{};
    time.tm_hour = 16;
    time.tm_min = 42;
    time.tm_sec = 7;
    return time;
}

class TrashRecyclerTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(applications);
        fs::create_directories(home.parent_path());
    }

    // An app bundle whose marker tells this copy from any other.
    fs::path bundle(const fs::path& folder, const std::string& marker, const std::string& name = "Lidora.app") {
        fs::create_directories(folder / name / "Contents");
        writeFile(folder / name / "Contents" / "marker", marker);
        return folder / name;
    }

    [[nodiscard]] std::string markerIn(const std::string& name) const {
        return readFile(trash.folder() / name / "Contents" / "marker");
    }

    TempDir root;
    fs::path home = root.path() / "Users" / "me";
    fs::path applications = root.path() / "Applications";
    vmac::TrashRecycler trash{root.path(), home, fourFortyTwo};
};

TEST_F(TrashRecyclerTest, ClashingNamesGetFindersNamesAndNothingIsReplaced) {
    EXPECT_THAT(trash.list().value(), ElementsAre()) << "no Trash yet is an empty one";
    for (const auto* marker : {"first", "second", "third"}) {
        const auto app = bundle(applications, marker);
        EXPECT_EQ(trash.recycle(app.string()), std::nullopt) << marker;
        EXPECT_FALSE(fs::exists(app));
    }
    EXPECT_THAT(trash.list().value(), ElementsAre("Lidora 4.42.07 PM 2.app", "Lidora 4.42.07 PM.app", "Lidora.app"));
    EXPECT_EQ(markerIn("Lidora.app"), "first");
    EXPECT_EQ(markerIn("Lidora 4.42.07 PM.app"), "second");
    EXPECT_EQ(markerIn("Lidora 4.42.07 PM 2.app"), "third");

    struct stat info {};
    ASSERT_EQ(::stat(trash.folder().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700U) << "the Trash is its user's alone";
    EXPECT_EQ(trash.folder(), home / ".Trash");
}

TEST_F(TrashRecyclerTest, SimultaneousMovesOfOneNameEachGetTheirOwnPlace) {
    constexpr int kMovers = 8;
    std::vector<fs::path> items;
    for (int i = 0; i < kMovers; ++i) {
        items.push_back(bundle(root.path() / ("from" + std::to_string(i)), std::to_string(i), "Same.app"));
    }
    std::vector<std::string> names(kMovers);
    std::vector<std::thread> movers;
    for (int i = 0; i < kMovers; ++i) {
        movers.emplace_back([&, i] {
            vmac::TrashRecycler own(root.path(), home, fourFortyTwo);
            auto moved = own.moveToTrash(items[i]);
            names[i] = moved ? *moved : "failed: " + moved.error();
        });
    }
    for (auto& mover : movers) {
        mover.join();
    }
    EXPECT_EQ(trash.list()->size(), static_cast<std::size_t>(kMovers));
    for (int i = 0; i < kMovers; ++i) {
        EXPECT_EQ(markerIn(names[i]), std::to_string(i)) << names[i];
    }
}

TEST_F(TrashRecyclerTest, ALinkGoesToTheTrashAsTheLinkAndItsTargetStays) {
    const auto target = bundle(applications, "target");
    fs::create_symlink(target, root.path() / "Shortcut.app");
    ASSERT_EQ(trash.recycle((root.path() / "Shortcut.app").string()), std::nullopt);
    EXPECT_TRUE(fs::is_symlink(trash.folder() / "Shortcut.app"));
    EXPECT_EQ(readFile(target / "Contents" / "marker"), "target");
}

struct Refusal {
    const char* what;
    std::function<fs::path(const fs::path& root, const fs::path& home)> arrange;  // returns the item
    const char* error;
};

TEST_F(TrashRecyclerTest, WhatCannotGoLeavesTheItemInPlaceAndSaysWhy) {
    const auto app = [](const fs::path& root) {
        fs::create_directories(root / "Applications" / "Lidora.app" / "Contents");
        writeFile(root / "Applications" / "Lidora.app" / "Contents" / "marker", "kept");
        return root / "Applications" / "Lidora.app";
    };
    const std::vector<Refusal> refusals = {
        {"a Trash that is a link elsewhere",
         [&](const fs::path& root, const fs::path& home) {
             fs::create_directories(home);
             fs::create_directories(root / "elsewhere");
             fs::create_directory_symlink(root / "elsewhere", home / ".Trash");
             return app(root);
         },
         "\u201cLidora.app\u201d couldn\u2019t be moved to the Trash because \u201c.Trash\u201d is a symbolic link."},
        {"a home that is a link",
         [&](const fs::path& root, const fs::path& home) {
             fs::create_directories(root / "elsewhere");
             fs::create_directories(home.parent_path());
             fs::create_directory_symlink(root / "elsewhere", home);
             return app(root);
         },
         "\u201cme\u201d is a symbolic link"},
        {"a link on the way to the item",
         [&](const fs::path& root, const fs::path&) {
             app(root / "real");
             fs::create_directory_symlink(root / "real" / "Applications", root / "Linked");
             return root / "Linked" / "Lidora.app";
         },
         "because \u201cLinked\u201d is a symbolic link."},
        {"a Trash that is a file",
         [&](const fs::path& root, const fs::path& home) {
             fs::create_directories(home);
             writeFile(home / ".Trash", "not a folder");
             return app(root);
         },
         "because \u201c.Trash\u201d is not a folder."},
        {"an item that is not there",
         [&](const fs::path& root, const fs::path&) {
             fs::create_directories(root / "Applications");
             return root / "Applications" / "Missing.app";
         },
         "\u201cMissing.app\u201d couldn\u2019t be moved to the Trash because it doesn\u2019t exist."},
        {"an item in the Trash already",
         [&](const fs::path&, const fs::path& home) {
             fs::create_directories(home / ".Trash" / "Old.app");
             return home / ".Trash" / "Old.app";
         },
         "because it is already in the Trash."},
        {"the folder holding the Trash",
         [&](const fs::path&, const fs::path& home) {
             fs::create_directories(home / ".Trash");
             return home;
         },
         "because the Trash is inside it."},
        {"the root", [&](const fs::path&, const fs::path&) { return fs::path("/"); }, "doesn\u2019t name an item"},
    };
    for (const auto& refusal : refusals) {
        TempDir fresh;
        const auto home = fresh.path() / "Users" / "me";
        fs::create_directories(home.parent_path());
        const auto item = refusal.arrange(fresh.path(), home);
        const auto before = fs::exists(fs::symlink_status(item));
        vmac::TrashRecycler recycler(fresh.path(), home, fourFortyTwo);
        const auto error = recycler.recycle(item.string());
        ASSERT_TRUE(error) << refusal.what;
        EXPECT_THAT(*error, HasSubstr(refusal.error)) << refusal.what;
        EXPECT_EQ(fs::exists(fs::symlink_status(item)), before) << refusal.what << ": the item moved";
        if (fs::exists(fresh.path() / "elsewhere")) {
            EXPECT_TRUE(fs::is_empty(fresh.path() / "elsewhere")) << refusal.what << ": a link was followed";
        }
    }
}

TEST_F(TrashRecyclerTest, ListingRefusesALinkedTrashAndSkipsFindersBookkeeping) {
    fs::create_directories(home / ".Trash" / "b.app");
    writeFile(home / ".Trash" / "a.txt", "");
    writeFile(home / ".Trash" / ".DS_Store", "");
    writeFile(home / ".Trash" / ".hidden", "");
    EXPECT_THAT(trash.list().value(), ElementsAre(".hidden", "a.txt", "b.app"));

    fs::rename(home / ".Trash", home / "Real");
    fs::create_directory_symlink(home / "Real", home / ".Trash");
    const auto listed = trash.list();
    ASSERT_FALSE(listed);
    EXPECT_THAT(listed.error(), HasSubstr("\u201c.Trash\u201d is a symbolic link"));
}

// Root may write anywhere, so the unwritable Trash is tried as nobody in a child.
TEST_F(TrashRecyclerTest, ATrashThatCannotBeWrittenLeavesTheItemWhereItWas) {
    const passwd* nobody = ::getpwnam("nobody");
    const bool asRoot = ::geteuid() == 0;
    if (asRoot && nobody == nullptr) {
        GTEST_SKIP() << "needs the user nobody to drop root's rights";
    }
    const auto app = bundle(applications, "kept");
    fs::create_directories(trash.folder());
    if (asRoot) {
        ::chmod(root.path().c_str(), 0755);
        for (const auto& entry : fs::recursive_directory_iterator(root.path())) {
            ::lchown(entry.path().c_str(), nobody->pw_uid, nobody->pw_gid);
        }
        ::chown(trash.folder().c_str(), 0, 0);  // someone else's, as after a restore by root
    }
    ::chmod(trash.folder().c_str(), 0555);
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(pipeFds[0]);
        if (asRoot &&
            (::setgroups(0, nullptr) != 0 || ::setresgid(nobody->pw_gid, nobody->pw_gid, nobody->pw_gid) != 0 ||
             ::setresuid(nobody->pw_uid, nobody->pw_uid, nobody->pw_uid) != 0)) {
            ::_exit(2);
        }
        vmac::TrashRecycler recycler(root.path(), home, fourFortyTwo);
        const auto error = recycler.recycle(app.string()).value_or("moved");
        (void)!::write(pipeFds[1], error.data(), error.size());
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    std::string error;
    char buffer[512];
    for (ssize_t n; (n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;) {
        error.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(pipeFds[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "could not become nobody";
    EXPECT_EQ(error,
              "\u201cLidora.app\u201d couldn\u2019t be moved to the Trash because you don\u2019t have permission to "
              "access \u201c.Trash\u201d.");
    EXPECT_EQ(readFile(app / "Contents" / "marker"), "kept");
    ::chmod(trash.folder().c_str(), 0700);
}

}  // namespace
}  // namespace lidora::testing
