#include "platform/launchd/JobSupervisor.h"

#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/launchd/ServiceTrust.h"
#include "platform/vmac/AtomicFile.h"
#include "platform/xpc/MachService.h"

namespace lidora::vmac {

namespace {

// How long shutdown waits past the grace period for SIGKILL to take effect.
constexpr Duration kKillWait = std::chrono::seconds(2);

// Whether two loads of a job would run the same program file, as it was then.
bool sameProgram(const LaunchJob& a, const LaunchJob& b) {
    if (!a.programFile || !b.programFile) {
        return a.program == b.program && !a.programFile && !b.programFile;
    }
    struct stat x {};
    struct stat y {};
    return ::fstat(a.programFile->get(), &x) == 0 && ::fstat(b.programFile->get(), &y) == 0 && x.st_dev == y.st_dev &&
           x.st_ino == y.st_ino && x.st_ctim.tv_sec == y.st_ctim.tv_sec && x.st_ctim.tv_nsec == y.st_ctim.tv_nsec;
}

}  // namespace

JobSupervisor::JobSupervisor(RunLoop& loop, VmacPaths paths, JobProcesses& processes, JobRegistry registry,
                             Logger logger)
    : loop_(loop),
      paths_(std::move(paths)),
      processes_(processes),
      registry_(std::move(registry)),
      logger_(std::move(logger)) {}

Expected<std::vector<ListeningSocket>, std::string> JobSupervisor::listenFor(const LaunchJob& job) {
    std::vector<ListeningSocket> sockets;
    for (const auto& service : job.machServices) {
        const auto path = machServiceSocket(paths_, service);
        if (!makeDirectories(path.parent_path())) {
            return unexpected(systemError("cannot create", path.parent_path()));
        }
        // Every user may look a service up; the service decides whom it serves.
        auto socket = ListeningSocket::listen(path, 0666);
        if (!socket) {
            return unexpected(socket.error());
        }
        sockets.push_back(std::move(socket).value());
    }
    return sockets;
}

Expected<std::string, std::string> JobSupervisor::load(const std::filesystem::path& plist, bool remember) {
    if (!plist.is_absolute()) {
        return unexpected("the property list path " + plist.string() + " is not absolute");
    }
    auto job = loadTrustedLaunchJob(plist);
    if (!job) {
        return unexpected(job.error());
    }
    return load(std::move(job).value(), remember);
}

Expected<std::string, std::string> JobSupervisor::load(LaunchJob job, bool remember) {
    if (shuttingDown_) {
        return unexpected(std::string("launchd is shutting down"));
    }
    const auto existing = jobs_.find(job.label);
    // An updated program is taken up; the instance running the old one ends.
    if (existing != jobs_.end() && existing->second->description().plist == job.plist &&
        sameProgram(existing->second->description(), job)) {
        return job.label;
    }
    for (const auto& [label, other] : jobs_) {
        if (label == job.label) {
            continue;
        }
        for (const auto& service : job.machServices) {
            const auto& taken = other->description().machServices;
            if (std::find(taken.begin(), taken.end(), service) != taken.end()) {
                return unexpected("the Mach service " + service + " is already provided by " + label);
            }
        }
    }
    if (::geteuid() == 0 && ::getpwnam(job.userName.c_str()) == nullptr) {
        return unexpected("the user " + job.userName + " of " + job.label + " does not exist");
    }
    auto sockets = listenFor(job);
    if (!sockets) {
        return unexpected(sockets.error());
    }
    if (remember) {
        if (auto added = registry_.add({job.label, job.plist}); !added) {
            return unexpected("cannot record " + job.label + ": " + added.error());
        }
    }
    for (auto& socket : *sockets) {
        if (auto published = socket.publish(); !published) {
            return unexpected(published.error());
        }
    }
    if (existing != jobs_.end()) {
        logger_.notice("replacing %{public}s, loaded from %{public}s", job.label,
                       existing->second->description().plist.string());
        retire(std::move(existing->second), {});
        jobs_.erase(existing);
    }
    const std::string label = job.label;
    logger_.notice("loaded %{public}s from %{public}s", label, job.plist.string());
    auto& added = jobs_[label];
    added = std::make_unique<Job>(loop_, std::move(job), std::move(sockets).value(), processes_, logger_);
    added->load();
    return label;
}

void JobSupervisor::loadRegistered() {
    auto registered = registry_.jobs();
    if (!registered) {
        logger_.error("cannot read the registered jobs: %{public}s", registered.error());
        return;
    }
    for (const auto& entry : *registered) {
        if (auto loaded = load(entry.plist, false); !loaded) {
            logger_.error("cannot load %{public}s: %{public}s", entry.label, loaded.error());
        }
    }
}

void JobSupervisor::loadFolder(const std::filesystem::path& folder) {
    std::error_code error;
    std::vector<std::filesystem::path> plists;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        if (entry.path().extension() == ".plist") {
            plists.push_back(entry.path());
        }
    }
    std::sort(plists.begin(), plists.end());
    for (const auto& plist : plists) {
        if (auto loaded = load(plist, false); !loaded) {
            logger_.error("cannot load %{public}s: %{public}s", plist.string(), loaded.error());
        }
    }
}

void JobSupervisor::unload(std::string_view labelOrPlist, Done done) {
    auto found = jobs_.find(labelOrPlist);
    if (found == jobs_.end()) {
        const std::filesystem::path plist(labelOrPlist);
        found = std::find_if(jobs_.begin(), jobs_.end(),
                             [&](const auto& entry) { return entry.second->description().plist == plist; });
    }
    const std::string key = found != jobs_.end() ? found->first : std::string(labelOrPlist);
    auto removed = registry_.remove(key);
    if (!removed) {
        done(unexpected("cannot update the registered jobs: " + removed.error()));
        return;
    }
    if (found == jobs_.end()) {
        if (*removed) {
            done((*removed)->label);
        } else {
            done(unexpected("no job " + key + " is loaded"));
        }
        return;
    }
    logger_.notice("unloading %{public}s", key);
    auto job = std::move(found->second);
    jobs_.erase(found);
    retire(std::move(job), [done = std::move(done), key] { done(key); });
}

void JobSupervisor::retire(std::unique_ptr<Job> job, std::function<void()> then) {
    Job* retired = job.get();
    retiring_.push_back(std::move(job));
    retired->unload([this, retired, then = std::move(then)] {
        std::erase_if(retiring_, [&](const auto& entry) { return entry.get() == retired; });
        if (then) {
            then();
        }
        finishShutdownIfIdle();
    });
}

void JobSupervisor::reapChildren() {
    for (;;) {
        int status = 0;
        const pid_t pid = ::waitpid(-1, &status, WNOHANG);
        if (pid < 0 && errno == EINTR) {
            continue;
        }
        if (pid <= 0) {
            return;
        }
        Job* owner = nullptr;
        for (const auto& [label, job] : jobs_) {
            if (job->pid() == pid) {
                owner = job.get();
            }
        }
        for (const auto& job : retiring_) {
            if (job->pid() == pid) {
                owner = job.get();
            }
        }
        if (owner != nullptr) {
            owner->instanceExited(status);
        }
    }
}

void JobSupervisor::shutdown(std::function<void()> done) {
    if (shuttingDown_) {
        return;
    }
    shuttingDown_ = true;
    shutdownDone_ = std::move(done);
    logger_.notice("stopping %d job(s)", static_cast<int>(jobs_.size()));
    auto jobs = std::move(jobs_);
    jobs_.clear();
    for (auto& [label, job] : jobs) {
        retire(std::move(job), {});
    }
    shutdownDeadline_ = loop_.scheduleAfter(Job::kStopGrace + kKillWait, [this] {
        logger_.error("%d job(s) did not end; leaving them", static_cast<int>(retiring_.size()));
        if (auto done = std::exchange(shutdownDone_, {})) {
            loop_.post(std::move(done));
        }
    });
    finishShutdownIfIdle();
}

void JobSupervisor::finishShutdownIfIdle() {
    if (shuttingDown_ && retiring_.empty() && shutdownDone_) {
        shutdownDeadline_.cancel();
        loop_.post(std::exchange(shutdownDone_, {}));
    }
}

std::vector<JobSupervisor::Entry> JobSupervisor::list() const {
    std::vector<Entry> entries;
    for (const auto& [label, job] : jobs_) {
        entries.push_back(Entry{label, job->description().plist, job->pid(), job->lastExitStatus()});
    }
    return entries;
}

}  // namespace lidora::vmac
