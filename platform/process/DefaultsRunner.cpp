#include "process/DefaultsRunner.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "text/UnicodeText.h"
#include "vmac/VmacPaths.h"
#include "xpc/SdBusPtr.h"

namespace lidora::vmac {

std::string launchErrorDescription(int error, const std::string& toolName) {
    switch (error) {
        case ENOENT: return "The file \u201c" + toolName + "\u201d doesn\u2019t exist.";
        case EACCES:
        case EPERM:
            return "The file \u201c" + toolName +
                   "\u201d couldn\u2019t be opened because you don\u2019t have permission "
                   "to view it.";
        default: return std::strerror(error);
    }
}

CommandResult DefaultsRunner::run(const std::vector<std::string>& arguments) const {
    const std::string toolName = std::filesystem::path(executable).filename().string();
    const auto launchFailure = [&](int error) {
        return CommandResult{kLaunchFailureStatus,
                             "Could not run " + toolName + ": " + launchErrorDescription(error, toolName)};
    };
    const std::filesystem::path resolved = VmacPaths::fromEnvironment().systemPath(executable);

    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
        return launchFailure(errno);
    }
    UniqueFd readEnd(pipeFds[0]);
    UniqueFd writeEnd(pipeFds[1]);

    std::vector<std::string> argvStrings;
    argvStrings.reserve(arguments.size() + 1);
    argvStrings.push_back(executable);
    argvStrings.insert(argvStrings.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    argv.reserve(argvStrings.size() + 1);
    for (auto& argument : argvStrings) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, writeEnd.get(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, writeEnd.get(), STDERR_FILENO);
    pid_t pid = 0;
    const int spawned = ::posix_spawn(&pid, resolved.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    writeEnd.reset();
    if (spawned != 0) {
        return launchFailure(spawned);
    }

    std::string bytes;
    char buffer[4096];
    for (;;) {
        const auto n = ::read(readEnd.get(), buffer, sizeof buffer);
        if (n > 0) {
            bytes.append(buffer, static_cast<std::size_t>(n));
        } else if (n == 0 || errno != EINTR) {
            break;
        }
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    // A tool killed by a signal reports the signal number, as a task's
    // termination status does.
    const int exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : WTERMSIG(status);
    return CommandResult{exitStatus, decodingUtf8Lossily(bytes)};
}

}  // namespace lidora::vmac
