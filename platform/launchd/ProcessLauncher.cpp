#include "launchd/ProcessLauncher.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "launchd/LaunchdPaths.h"
#include "prefs/AtomicFile.h"

namespace lidora::vmac {

namespace {

enum class Stage : int { Descriptors, Directory, Groups, Group, User, Exec };

const char* describe(Stage stage) {
    switch (stage) {
        case Stage::Descriptors: return "pass the descriptors";
        case Stage::Directory: return "enter /";
        case Stage::Groups: return "set the groups";
        case Stage::Group: return "set the group";
        case Stage::User: return "set the user";
        case Stage::Exec: return "execute";
    }
    return "start";
}

struct ChildFailure {
    Stage stage = Stage::Exec;
    int error = 0;
};

struct Credentials {
    bool switchUser = false;
    uid_t uid = 0;
    gid_t gid = 0;
    std::vector<gid_t> groups;
    std::string name;
};

Expected<Credentials, std::string> credentialsFor(const LaunchJob& job) {
    Credentials credentials;
    credentials.uid = ::geteuid();
    credentials.gid = ::getegid();
    if (credentials.uid != 0) {
        // Only root can become someone else; the job runs as launchd does.
        const passwd* self = ::getpwuid(credentials.uid);
        credentials.name = self != nullptr ? self->pw_name : std::to_string(credentials.uid);
        return credentials;
    }
    const passwd* entry = ::getpwnam(job.userName.c_str());
    if (entry == nullptr) {
        return unexpected("the user " + job.userName + " of " + job.label + " does not exist");
    }
    credentials.switchUser = true;
    credentials.uid = entry->pw_uid;
    credentials.gid = entry->pw_gid;
    credentials.name = entry->pw_name;
    int count = 32;
    credentials.groups.resize(static_cast<std::size_t>(count));
    while (::getgrouplist(entry->pw_name, entry->pw_gid, credentials.groups.data(), &count) < 0) {
        credentials.groups.resize(static_cast<std::size_t>(count) * 2);
        count = static_cast<int>(credentials.groups.size());
    }
    credentials.groups.resize(static_cast<std::size_t>(count));
    return credentials;
}

Expected<FileDescriptor, std::string> openLog(const std::filesystem::path& path) {
    if (!makeDirectories(path.parent_path())) {
        return unexpected(systemError("cannot create", path.parent_path()));
    }
    FileDescriptor fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOCTTY, 0644));
    if (!fd.valid()) {
        return unexpected(systemError("cannot open", path));
    }
    return fd;
}

std::vector<std::string> environmentFor(const LaunchJob& job, const VmacPaths& paths, const Credentials& credentials,
                                        std::size_t listeningCount) {
    std::vector<std::string> environment = {
        "PATH=/usr/bin:/bin:/usr/sbin:/sbin", "HOME=" + paths.homeOf(credentials.uid).string(),
        "USER=" + credentials.name,           "LOGNAME=" + credentials.name,
        "VMAC_ROOT=" + paths.root().string(), "XPC_SERVICE_NAME=" + job.label,
    };
    // Sanitizer builds configure every process of a test run alike.
    for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS", "LANG", "TZ"}) {
        if (const char* value = std::getenv(name)) {
            environment.push_back(std::string(name) + "=" + value);
        }
    }
    if (listeningCount > 0) {
        std::string names;
        for (const auto& service : job.machServices) {
            names += (names.empty() ? "" : ":") + service;
        }
        environment.push_back("LISTEN_FDS=" + std::to_string(listeningCount));
        environment.push_back("LISTEN_FDNAMES=" + names);
    }
    return environment;
}

std::vector<char*> pointersTo(std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    pointers.reserve(strings.size() + 1);
    for (auto& string : strings) {
        pointers.push_back(string.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

// Only async-signal-safe calls from here on: this runs between fork and exec.
void writeDecimal(char* out, long value) {
    char digits[24];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value > 0);
    while (count > 0) {
        *out++ = digits[--count];
    }
    *out = '\0';
}

struct ChildPlan {
    std::vector<int> sources;  // stdin, stdout, stderr, then the listening sockets
    const Credentials* credentials = nullptr;
    const char* program = nullptr;
    char* const* argv = nullptr;
    char* const* envp = nullptr;
    char* listenPidDigits = nullptr;  // inside envp, or null
    pid_t parent = 0;
};

[[noreturn]] void runChild(ChildPlan& plan, int report) {
    auto fail = [&](Stage stage) {
        const ChildFailure failure{stage, errno};
        [[maybe_unused]] const auto written = ::write(report, &failure, sizeof failure);
        ::_exit(127);
    };
    ::setsid();
    sigset_t none;
    ::sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::signal(SIGPIPE, SIG_DFL);

    // Everything moves above the target range first, so no dup2 below can
    // overwrite a descriptor still to be placed.
    const int base = static_cast<int>(plan.sources.size());
    report = ::fcntl(report, F_DUPFD_CLOEXEC, base);
    if (report < 0) {
        ::_exit(127);
    }
    for (auto& fd : plan.sources) {
        fd = ::fcntl(fd, F_DUPFD_CLOEXEC, base);
        if (fd < 0) {
            fail(Stage::Descriptors);
        }
    }
    for (int target = 0; target < base; ++target) {
        if (::dup2(plan.sources[static_cast<std::size_t>(target)], target) < 0) {
            fail(Stage::Descriptors);
        }
    }
    ::close_range(static_cast<unsigned>(base), ~0U, CLOSE_RANGE_CLOEXEC);

    if (::chdir("/") != 0) {
        fail(Stage::Directory);
    }
    ::umask(022);
    if (plan.credentials->switchUser) {
        if (::setgroups(plan.credentials->groups.size(), plan.credentials->groups.data()) != 0) {
            fail(Stage::Groups);
        }
        if (::setgid(plan.credentials->gid) != 0) {
            fail(Stage::Group);
        }
        if (::setuid(plan.credentials->uid) != 0) {
            fail(Stage::User);
        }
    }
    // A launchd killed outright takes its jobs with it. Set after setuid,
    // which clears it.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::getppid() != plan.parent) {
        ::_exit(0);
    }
    if (plan.listenPidDigits != nullptr) {
        writeDecimal(plan.listenPidDigits, ::getpid());
    }
    ::execve(plan.program, plan.argv, plan.envp);
    fail(Stage::Exec);
    ::_exit(127);
}

}  // namespace

Expected<pid_t, std::string> ProcessLauncher::start(const LaunchJob& job, const std::vector<int>& listeningFds) {
    auto credentials = credentialsFor(job);
    if (!credentials) {
        return unexpected(credentials.error());
    }
    const auto outPath = job.standardOutPath.value_or(defaultJobLog(paths_, job.label));
    const auto errPath = job.standardErrorPath.value_or(defaultJobLog(paths_, job.label));
    auto out = openLog(outPath);
    if (!out) {
        return unexpected(out.error());
    }
    FileDescriptor err;
    if (errPath != outPath) {
        auto opened = openLog(errPath);
        if (!opened) {
            return unexpected(opened.error());
        }
        err = std::move(opened).value();
    }
    const FileDescriptor null(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    if (!null.valid()) {
        return unexpected(systemError("cannot open", "/dev/null"));
    }

    auto arguments = job.arguments;
    auto argv = pointersTo(arguments);
    auto environment = environmentFor(job, paths_, *credentials, listeningFds.size());
    if (!listeningFds.empty()) {
        environment.push_back("LISTEN_PID=" + std::string(24, '\0'));
    }
    auto envp = pointersTo(environment);

    ChildPlan plan;
    plan.sources = {null.get(), out->get(), err.valid() ? err.get() : out->get()};
    plan.sources.insert(plan.sources.end(), listeningFds.begin(), listeningFds.end());
    plan.credentials = &*credentials;
    plan.program = job.program.c_str();
    plan.argv = argv.data();
    plan.envp = envp.data();
    plan.listenPidDigits = listeningFds.empty() ? nullptr : environment.back().data() + std::strlen("LISTEN_PID=");
    plan.parent = ::getpid();

    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) {
        return unexpected(std::string("cannot create a pipe: ") + std::strerror(errno));
    }
    const FileDescriptor reportRead(report[0]);
    FileDescriptor reportWrite(report[1]);
    const pid_t pid = ::fork();
    if (pid < 0) {
        return unexpected("cannot fork for " + job.label + ": " + std::strerror(errno));
    }
    if (pid == 0) {
        runChild(plan, reportWrite.get());
    }
    reportWrite = FileDescriptor();
    ChildFailure failure;
    ssize_t got = 0;
    do {
        got = ::read(reportRead.get(), &failure, sizeof failure);
    } while (got < 0 && errno == EINTR);
    if (got == static_cast<ssize_t>(sizeof failure)) {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        return unexpected("cannot " + std::string(describe(failure.stage)) + " for " + job.label + " (" +
                          job.program.string() + "): " + std::strerror(failure.error));
    }

    const auto pidFile = processPidFile(paths_, job.label);
    if (makeDirectories(pidFile.parent_path())) {
        auto temporary = pidFile;
        temporary += ".tmp";
        // A missing pid file only hides the process from `vmac status`.
        [[maybe_unused]] auto written = replaceFileAtomically(pidFile, temporary, std::to_string(pid) + "\n", 0644);
    }
    return pid;
}

void ProcessLauncher::signal(pid_t pid, int signal) {
    ::kill(pid, signal);
}

void ProcessLauncher::ended(const LaunchJob& job, pid_t pid) {
    // A replacement of the job may already have written its own.
    const auto pidFile = processPidFile(paths_, job.label);
    auto contents = readFileIfPresent(pidFile);
    if (contents && *contents && std::atol((*contents)->bytes.c_str()) == pid) {
        ::unlink(pidFile.c_str());
    }
}

}  // namespace lidora::vmac
