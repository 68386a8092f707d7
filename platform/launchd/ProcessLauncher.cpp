#include "platform/launchd/ProcessLauncher.h"

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

#include "platform/launchd/LaunchdPaths.h"
#include "platform/process/ChildProcess.h"
#include "platform/process/VmacMembership.h"
#include "platform/vmac/AtomicFile.h"

namespace lidora::vmac {

namespace {

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
        vmacMemberEntry(paths),
        "PATH=/usr/bin:/bin:/usr/sbin:/sbin",
        "HOME=" + paths.homeOf(credentials.uid).string(),
        "USER=" + credentials.name,
        "LOGNAME=" + credentials.name,
        "VMAC_ROOT=" + paths.root().string(),
        "XPC_SERVICE_NAME=" + job.label,
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

// Between fork and exec: enters /, becomes the job's user, and tells a
// socket-activated job its pid.
const char* becomeJob(const Credentials& credentials, pid_t parent, char* listenPidDigits) {
    if (::chdir("/") != 0) {
        return "enter /";
    }
    ::umask(022);
    if (credentials.switchUser) {
        if (::setgroups(credentials.groups.size(), credentials.groups.data()) != 0) {
            return "set the groups";
        }
        if (::setgid(credentials.gid) != 0) {
            return "set the group";
        }
        if (::setuid(credentials.uid) != 0) {
            return "set the user";
        }
    }
    // A launchd killed outright takes its jobs with it. Set after setuid,
    // which clears it.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::getppid() != parent) {
        ::_exit(0);
    }
    if (listenPidDigits != nullptr) {
        writeDecimal(listenPidDigits, ::getpid());
    }
    return nullptr;
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

    SpawnRequest request;
    request.program = job.program;
    request.programFd = job.programFile ? job.programFile->get() : -1;
    request.arguments = job.arguments;
    request.environment = environmentFor(job, paths_, *credentials, listeningFds.size());
    if (!listeningFds.empty()) {
        request.environment.push_back("LISTEN_PID=" + std::string(24, '\0'));
    }
    request.descriptors = {null.get(), out->get(), err.valid() ? err.get() : out->get()};
    request.descriptors.insert(request.descriptors.end(), listeningFds.begin(), listeningFds.end());
    request.newSession = true;
    char* listenPidDigits =
        listeningFds.empty() ? nullptr : request.environment.back().data() + std::strlen("LISTEN_PID=");
    request.beforeExec = [&credentials = *credentials, parent = ::getpid(), listenPidDigits] {
        return becomeJob(credentials, parent, listenPidDigits);
    };
    const auto pid = spawnChild(request);
    if (!pid) {
        return unexpected("cannot " + std::string(pid.error().step) + " for " + job.label + " (" +
                          job.program.string() + "): " + std::strerror(pid.error().error));
    }

    const auto pidFile = processPidFile(paths_, job.label);
    if (makeDirectories(pidFile.parent_path())) {
        auto temporary = pidFile;
        temporary += ".tmp";
        // A missing pid file only hides the process from `vmac status`. Not
        // flushed: it is written at every on-demand start, while the client
        // waits, and describes processes a power loss ends anyway; readers
        // take a pid only when it names a live process.
        [[maybe_unused]] auto written =
            replaceFileAtomically(pidFile, temporary, std::to_string(*pid) + "\n", 0644, Durability::unflushed);
    }
    return *pid;
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
