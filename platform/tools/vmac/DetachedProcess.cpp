#include "DetachedProcess.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "prefs/AtomicFile.h"

namespace lidora::vmac {

Expected<pid_t, std::string> startDetached(const VmacPaths& paths, const std::vector<std::string>& argv,
                                           const std::filesystem::path& logFile) {
    if (argv.empty()) {
        return unexpected(std::string("nothing to start"));
    }
    if (!makeDirectories(logFile.parent_path())) {
        return unexpected(systemError("cannot create", logFile.parent_path()));
    }
    const FileDescriptor log(::open(logFile.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOCTTY, 0644));
    const FileDescriptor null(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    if (!log.valid() || !null.valid()) {
        return unexpected(systemError("cannot open", logFile));
    }
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (std::strncmp(*entry, "VMAC_ROOT=", 10) != 0) {
            environment.emplace_back(*entry);
        }
    }
    environment.push_back("VMAC_ROOT=" + paths.root().string());
    std::vector<char*> envp;
    envp.reserve(environment.size() + 1);
    for (auto& entry : environment) {
        envp.push_back(entry.data());
    }
    envp.push_back(nullptr);
    std::vector<std::string> arguments = argv;
    std::vector<char*> args;
    args.reserve(arguments.size() + 1);
    for (auto& argument : arguments) {
        args.push_back(argument.data());
    }
    args.push_back(nullptr);

    // The middle child leads the new session and exits at once, so the
    // program is parented to init and never gets a controlling terminal.
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) {
        return unexpected(std::string("cannot create a pipe: ") + std::strerror(errno));
    }
    const FileDescriptor reportRead(report[0]);
    FileDescriptor reportWrite(report[1]);
    const pid_t child = ::fork();
    if (child < 0) {
        return unexpected(std::string("cannot fork: ") + std::strerror(errno));
    }
    if (child == 0) {
        ::setsid();
        const pid_t daemon = ::fork();
        if (daemon != 0) {
            [[maybe_unused]] const auto written = ::write(reportWrite.get(), &daemon, sizeof daemon);
            ::_exit(daemon < 0 ? 1 : 0);
        }
        if (::dup2(null.get(), 0) < 0 || ::dup2(log.get(), 1) < 0 || ::dup2(log.get(), 2) < 0) {
            ::_exit(127);
        }
        ::close_range(3, ~0U, 0);
        ::chdir("/");
        ::execve(args[0], args.data(), envp.data());
        ::_exit(127);
    }
    reportWrite = FileDescriptor();
    pid_t daemon = -1;
    while (::read(reportRead.get(), &daemon, sizeof daemon) < 0 && errno == EINTR) {
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (daemon <= 0) {
        return unexpected("cannot start " + argv.front());
    }
    return daemon;
}

}  // namespace lidora::vmac
