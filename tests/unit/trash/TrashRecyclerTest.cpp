#include <gmock/gmock.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
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

// A bundle whose marker tells this copy from any other.
fs::path bundle(const fs::path& folder, const std::string& marker, const std::string& name = "Lidora.app") {
    fs::create_directories(folder / name / "Contents");
    writeFile(folder / name / "Contents" / "marker", marker);
    return folder / name;
}

class TrashRecyclerTest : public ::testing::Test {
protected:
    void SetUp() override { fs::create_directories(home.parent_path()); }
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
        bundle(applications, marker);
        EXPECT_EQ(trash.recycle("/Applications/Lidora.app"), std::nullopt) << marker;
    }
    EXPECT_THAT(trash.list().value(), ElementsAre("Lidora 4.42.07 PM 2.app", "Lidora 4.42.07 PM.app", "Lidora.app"));
    EXPECT_EQ(markerIn("Lidora.app"), "first");
    EXPECT_EQ(markerIn("Lidora 4.42.07 PM.app"), "second");
    EXPECT_EQ(markerIn("Lidora 4.42.07 PM 2.app"), "third");
    EXPECT_FALSE(fs::exists(applications / "Lidora.app"));
    EXPECT_EQ(fs::status(trash.folder()).permissions(), fs::perms::owner_all) << "the Trash is its user's alone";

    // A link goes as the link; what it points at stays.
    fs::create_symlink(bundle(applications, "target"), root.path() / "Shortcut.app");
    ASSERT_EQ(trash.recycle("/Shortcut.app/"), std::nullopt);
    EXPECT_TRUE(fs::is_symlink(trash.folder() / "Shortcut.app"));
    EXPECT_EQ(readFile(applications / "Lidora.app" / "Contents" / "marker"), "target");
}

TEST_F(TrashRecyclerTest, SimultaneousMovesOfOneNameEachGetTheirOwnPlace) {
    constexpr int kMovers = 8;
    std::vector<std::string> names(kMovers);
    std::vector<std::thread> movers;
    for (int i = 0; i < kMovers; ++i) {
        bundle(root.path() / std::to_string(i), std::to_string(i));
        movers.emplace_back([&, i] {
            const auto item = "/" + std::to_string(i) + "/Lidora.app";
            auto moved = vmac::TrashRecycler(root.path(), home, fourFortyTwo).moveToTrash(item);
            names[i] = moved ? *moved : moved.error();
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

TEST(TrashRecyclerRefusals, WhatCannotGoLeavesTheItemInPlaceAndSaysWhy) {
    // Each lays out a root that has Users/ and names the item as the Mac does.
    using Arrange = std::function<std::string(const fs::path& root, const fs::path& home)>;
    const auto app = [](const fs::path& root) { bundle(root / "Applications", "kept"); };
    const auto link = [](const fs::path& root, const fs::path& at) {
        fs::create_directories(root / "elsewhere");
        fs::create_directories(at.parent_path());
        fs::create_directory_symlink(root / "elsewhere", at);
    };
    const std::string lidora = "/Applications/Lidora.app";
    const std::vector<std::tuple<const char*, Arrange, const char*>> refusals = {
        {"a Trash that is a link elsewhere", [&](auto& r, auto& h) { return link(r, h / ".Trash"), app(r), lidora; },
         "\u201cLidora.app\u201d couldn\u2019t be moved to the Trash because \u201c.Trash\u201d is a symbolic link."},
        {"a home that is a link", [&](auto& r, auto& h) { return link(r, h), app(r), lidora; },
         "because \u201cme\u201d is a symbolic link."},
        {"a link on the way to the item",
         [&](auto& r, auto&) { return link(r, r / "Linked"), bundle(r / "elsewhere", "kept"), "/Linked/Lidora.app"; },
         "because \u201cLinked\u201d is a symbolic link."},
        {"a Trash that is a file",
         [&](auto& r, auto& h) { return fs::create_directories(h), writeFile(h / ".Trash", ""), app(r), lidora; },
         "because \u201c.Trash\u201d is not a folder."},
        {"an item that is not there", [&](auto& r, auto&) { return app(r), "/Applications/Missing.app"; },
         "\u201cMissing.app\u201d couldn\u2019t be moved to the Trash because it doesn\u2019t exist."},
        {"a path of the host, not of the Mac",
         [&](auto& r, auto&) { return app(r), (r / "Applications/Lidora.app").string(); },
         "because \u201ctmp\u201d doesn\u2019t exist."},
        {"an item in the Trash already",
         [&](auto&, auto& h) { return bundle(h / ".Trash", "kept"), std::string("/Users/me/.Trash/Lidora.app"); },
         "because it is already in the Trash."},
        {"the folder holding the Trash",
         [&](auto&, auto& h) { return fs::create_directories(h / ".Trash"), std::string("/Users/me/../me"); },
         "because the Trash is inside it."},
        {"the Mac's root", [&](auto&, auto&) { return "/.."; }, "because it doesn\u2019t name an item."},
        {"a relative path", [&](auto& r, auto&) { return app(r), "Applications/Lidora.app"; },
         "because its path is not absolute."},
    };
    for (const auto& [what, arrange, error] : refusals) {
        TempDir root;
        const auto home = root.path() / "Users" / "me";
        fs::create_directories(home.parent_path());
        const fs::path item = arrange(root.path(), home);
        const auto onHost = root.path() / item.lexically_normal().relative_path();
        const bool existed = fs::exists(fs::symlink_status(onHost));
        const auto refused = vmac::TrashRecycler(root.path(), home, fourFortyTwo).recycle(item.string());
        EXPECT_THAT(refused.value_or("moved"), HasSubstr(error)) << what;
        EXPECT_EQ(fs::exists(fs::symlink_status(onHost)), existed) << what;
        EXPECT_TRUE(fs::exists(root.path() / "Applications" / "Lidora.app") ||
                    !fs::exists(root.path() / "Applications"))
            << what;
        EXPECT_TRUE(!fs::exists(root.path() / "elsewhere") || fs::is_empty(root.path() / "elsewhere") ||
                    readFile(root.path() / "elsewhere" / "Lidora.app" / "Contents" / "marker") == "kept")
            << what << ": a link was followed";
    }
}

TEST_F(TrashRecyclerTest, ListingRefusesALinkedTrashAndSkipsFindersBookkeeping) {
    fs::create_directories(home / ".Trash" / "b.app");
    for (const auto* file : {"a.txt", ".DS_Store", ".hidden"}) {
        writeFile(home / ".Trash" / file, "");
    }
    EXPECT_THAT(trash.list().value(), ElementsAre(".hidden", "a.txt", "b.app"));
    fs::rename(home / ".Trash", home / "Real");
    fs::create_directory_symlink(home / "Real", home / ".Trash");
    EXPECT_THAT(trash.list().error(), HasSubstr("\u201c.Trash\u201d is a symbolic link"));
}

// Root writes anywhere, so the move is tried as nobody in a child process.
TEST_F(TrashRecyclerTest, ATrashThatCannotBeWrittenLeavesTheItemWhereItWas) {
    const passwd* nobody = ::getpwnam("nobody");
    const bool asRoot = ::geteuid() == 0;
    if (asRoot && nobody == nullptr) {
        GTEST_SKIP() << "needs the user nobody to drop root's rights";
    }
    const auto app = bundle(applications, "kept");
    fs::create_directories(trash.folder());
    if (asRoot) {
        fs::permissions(root.path(), fs::perms::owner_all | fs::perms::others_exec | fs::perms::group_exec);
        for (const auto& entry : fs::recursive_directory_iterator(root.path())) {
            ASSERT_EQ(::lchown(entry.path().c_str(), nobody->pw_uid, nobody->pw_gid), 0);
        }
        ASSERT_EQ(::chown(trash.folder().c_str(), 0, 0), 0);  // left behind by root
    }
    fs::permissions(trash.folder(), fs::perms::owner_read | fs::perms::owner_exec);
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        if (asRoot &&
            (::setgroups(0, nullptr) != 0 || ::setresgid(nobody->pw_gid, nobody->pw_gid, nobody->pw_gid) != 0 ||
             ::setresuid(nobody->pw_uid, nobody->pw_uid, nobody->pw_uid) != 0)) {
            ::_exit(2);
        }
        const auto error = trash.recycle("/Applications/Lidora.app").value_or("moved");
        ::_exit(::write(pipeFds[1], error.data(), error.size()) > 0 ? 0 : 3);
    }
    ::close(pipeFds[1]);
    char buffer[512];
    const auto length = ::read(pipeFds[0], buffer, sizeof buffer);
    ::close(pipeFds[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_EQ(status, 0) << "the child could not become nobody or report";
    EXPECT_EQ(std::string(buffer, static_cast<std::size_t>(std::max<ssize_t>(length, 0))),
              "\u201cLidora.app\u201d couldn\u2019t be moved to the Trash because you don\u2019t have permission to "
              "access \u201c.Trash\u201d.");
    EXPECT_EQ(readFile(app / "Contents" / "marker"), "kept");
}

}  // namespace
}  // namespace lidora::testing
