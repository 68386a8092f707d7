#include <gtest/gtest.h>
#include <sys/personality.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>

#include "platform/codesign/LoadedCode.h"
#include "tests/support/TempDir.h"

namespace lidora::vmac {
namespace {

TEST(CodeMappings, KeepsEachExecutableFileOnce) {
    const std::string maps =
        "5600-5700 r--p 00000000 fe:00 247476   /usr/bin/app\n"
        "5700-5800 r-xp 00001000 fe:00 247476   /usr/bin/app\n"
        "7f00-7f10 r-xp 00026000 fe:01 332835   /usr/lib/libc.so.6\n"
        "7f10-7f20 r-xp 00036000 fe:01 332835   /usr/lib/libc.so.6\n"
        "7f20-7f30 rwxp 00000000 00:00 0 \n"
        "7f30-7f40 r-xp 00000000 00:00 0   [vdso]\n"
        "7f40-7f50 r-xp 00000000 103:02 77   /tmp/my lib.so (deleted)\n"
        "ffff-ffff --xp 00000000 00:00 0   [vsyscall]\n";
    const std::vector<CodeMapping> expected{{"/usr/bin/app", makedev(0xfe, 0), 247476},
                                            {"/usr/lib/libc.so.6", makedev(0xfe, 1), 332835},
                                            {"/tmp/my lib.so (deleted)", makedev(0x103, 2), 77}};
    EXPECT_EQ(codeMappings(maps), expected);
}

TEST(LoadedCodeCheck, TrustsOnlyCodeThatNoOtherUserCanChange) {
    const testing::TempDir temp;
    const auto root = temp.path();
    ::chmod(root.c_str(), 0755);
    const auto make = [&](const std::filesystem::path& relative, mode_t folderMode, mode_t fileMode) {
        const auto file = root / relative;
        std::filesystem::create_directories(file.parent_path());
        ::chmod(file.parent_path().c_str(), folderMode);
        std::ofstream(file) << "code";
        ::chmod(file.c_str(), fileMode);
        return file;
    };
    const auto mappingOf = [](const std::filesystem::path& file) {
        struct stat info {};
        ::stat(file.c_str(), &info);
        return CodeMapping{file.string(), info.st_dev, info.st_ino};
    };
    const auto program = make("Open/app", 0777, 0755);
    struct stat programInfo {};
    ::stat(program.c_str(), &programInfo);
    const auto signedProgram = fileStampOf(programInfo);
    const auto foreign = make("Foreign.app/Contents/Frameworks/libown.so", 0755, 0644);
    const bool root_ = ::geteuid() == 0;
    if (root_) {
        ::chown(foreign.c_str(), 65534, 65534);
    }

    struct Case {
        const char* name;
        CodeMapping mapping;
        bool trusted;
    };
    const Case cases[] = {
        {"a closed folder", mappingOf(make("Closed/lib.so", 0755, 0755)), true},
        {"a sticky folder", mappingOf(make("Sticky/lib.so", 01777, 0755)), true},
        {"a group-writable file", mappingOf(make("Writable/lib.so", 0755, 0775)), false},
        {"a folder others can write", mappingOf(make("Open/lib.so", 0777, 0755)), false},
        {"the signed program itself", mappingOf(program), true},
        {"a name that now leads elsewhere", {(root / "Closed/lib.so").string(), 1, 2}, false},
        {"another user's file in the signed bundle", mappingOf(foreign), !root_},
    };
    const LoadedCodeCheck check;
    for (const auto& c : cases) {
        EXPECT_EQ(check.checkMappings({c.mapping}, signedProgram).has_value(), c.trusted) << c.name;
    }

    // A trusted name is judged afresh once another file takes it.
    const auto replaced = make("Later/lib.so", 0755, 0755);
    ASSERT_TRUE(check.checkMappings({mappingOf(replaced)}, signedProgram));
    std::filesystem::rename(replaced, replaced.parent_path() / "old.so");  // kept, so its inode stays taken
    make("Later/lib.so", 0755, 0777);
    EXPECT_FALSE(check.checkMappings({mappingOf(replaced)}, signedProgram));
}

}  // namespace
}  // namespace lidora::vmac

namespace lidora::vmac {
namespace {

// Polls a real process, never past five seconds.
bool eventually(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        ::usleep(1000);
    }
    return true;
}

std::string programOf(pid_t pid) {
    std::error_code error;
    return std::filesystem::read_symlink("/proc/" + std::to_string(pid) + "/exe", error).filename().string();
}

// Ends a child however the test ends.
struct Child {
    pid_t pid;
    ~Child() {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
};

// Reads the exec instance of a shell that execs `sleep` when told to. The
// kernel names the new program a moment before it places it in memory, so
// each read waits until there is one.
TEST(ExecInstance, ChangesWithEachExecAndIsUnknownWithoutRandomisation) {
    int toShell[2];
    ASSERT_EQ(::pipe(toShell), 0);
    const Child shell{::fork()};
    if (shell.pid == 0) {
        ::dup2(toShell[0], 0);
        ::close(toShell[1]);
        ::execl("/bin/sh", "sh", "-c", "read line; exec sleep 30", nullptr);
        ::_exit(127);
    }
    ::close(toShell[0]);
    const auto instanceOnce = [&](const char* program) {
        std::optional<std::string> instance;
        eventually([&] {
            instance = programOf(shell.pid) == program ? execInstanceOf(shell.pid) : std::nullopt;
            return instance.has_value();
        });
        return instance;
    };
    const auto beforeExec = instanceOnce("dash");
    ASSERT_TRUE(beforeExec.has_value());
    EXPECT_EQ(execInstanceOf(shell.pid), beforeExec) << "stable while the image stays";
    ASSERT_EQ(::write(toShell[1], "go\n", 3), 3);
    ::close(toShell[1]);
    const auto afterExec = instanceOnce("sleep");
    ASSERT_TRUE(afterExec.has_value());
    EXPECT_NE(afterExec, beforeExec) << "same pid and start time, new image";

    const Child fixed{::fork()};
    if (fixed.pid == 0) {
        ::personality(ADDR_NO_RANDOMIZE);
        ::execl("/bin/sleep", "sleep", "30", nullptr);
        ::_exit(127);
    }
    ASSERT_TRUE(eventually([&] { return programOf(fixed.pid) == "sleep"; }));
    EXPECT_EQ(execInstanceOf(fixed.pid), std::nullopt);
}

}  // namespace
}  // namespace lidora::vmac
