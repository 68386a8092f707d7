#include "platform/launchd/Job.h"

#include <signal.h>
#include <sys/wait.h>

namespace lidora::vmac {

Job::Job(RunLoop& loop, LaunchJob description, std::vector<ListeningSocket> sockets, JobProcesses& processes,
         Logger logger)
    : loop_(loop),
      description_(std::move(description)),
      sockets_(std::move(sockets)),
      processes_(processes),
      logger_(std::move(logger)),
      policy_(description_.throttleInterval, description_.keepAlive) {}

void Job::load() {
    if (description_.keepAlive || description_.runAtLoad) {
        startInstance();
    } else {
        watchSockets();
    }
}

std::vector<int> Job::listeningFds() const {
    std::vector<int> fds;
    for (const auto& socket : sockets_) {
        fds.push_back(socket.fd());
    }
    return fds;
}

void Job::watchSockets() {
    watches_.clear();
    for (const auto& socket : sockets_) {
        watches_.push_back(loop_.watch(socket.fd(), FdEvent::Readable, [this](unsigned) { startInstance(); }));
    }
}

void Job::startInstance() {
    watches_.clear();
    timer_.cancel();
    if (instance_ || unloading_) {
        return;
    }
    policy_.started(loop_.now());
    auto pid = processes_.start(description_, listeningFds());
    if (!pid) {
        logger_.error("cannot start %{public}s: %{public}s", description_.label, pid.error());
        afterInstance(false);
        return;
    }
    instance_ = *pid;
    logger_.notice("started %{public}s, pid %d", description_.label, *pid);
}

void Job::instanceExited(int waitStatus) {
    if (!instance_) {
        return;
    }
    const pid_t pid = *instance_;
    instance_.reset();
    processes_.ended(description_, pid);
    const bool clean = WIFEXITED(waitStatus) && WEXITSTATUS(waitStatus) == 0;
    if (WIFSIGNALED(waitStatus)) {
        lastStatus_ = -WTERMSIG(waitStatus);
        logger_.notice("%{public}s (pid %d) ended by signal %d", description_.label, pid, WTERMSIG(waitStatus));
    } else {
        lastStatus_ = WEXITSTATUS(waitStatus);
        logger_.notice("%{public}s (pid %d) exited with status %d", description_.label, pid, *lastStatus_);
    }
    if (unloading_) {
        timer_.cancel();
        if (auto stopped = std::exchange(stopped_, {})) {
            loop_.post(std::move(stopped));
        }
        return;
    }
    afterInstance(clean, WIFSIGNALED(waitStatus) && WTERMSIG(waitStatus) == SIGKILL);
}

void Job::afterInstance(bool clean, bool killed) {
    const auto decision = policy_.exited(loop_.now(), clean, killed);
    if (decision.discardWaiting) {
        int refused = 0;
        for (const auto& socket : sockets_) {
            refused += socket.refuseWaiting();
        }
        if (refused > 0) {
            logger_.error("%{public}s failed at start; refused %d waiting connection(s)", description_.label, refused);
        }
    }
    if (decision.notBefore > loop_.now()) {
        const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(decision.notBefore - loop_.now());
        logger_.notice("%{public}s may start again in %lld ms", description_.label,
                       static_cast<long long>(wait.count()));
    }
    if (decision.restart) {
        timer_ = loop_.scheduleAt(decision.notBefore, [this] { startInstance(); });
    } else if (!sockets_.empty()) {
        if (decision.notBefore > loop_.now()) {
            timer_ = loop_.scheduleAt(decision.notBefore, [this] { watchSockets(); });
        } else {
            // A connection that came while the instance exited makes the
            // watch fire at once, and the next instance serves it.
            watchSockets();
        }
    }
}

void Job::unload(std::function<void()> stopped) {
    unloading_ = true;
    watches_.clear();
    timer_.cancel();
    sockets_.clear();
    if (!instance_) {
        if (stopped) {
            loop_.post(std::move(stopped));
        }
        return;
    }
    stopped_ = std::move(stopped);
    processes_.signal(*instance_, SIGTERM);
    timer_ = loop_.scheduleAfter(kStopGrace, [this] {
        if (instance_) {
            logger_.error("%{public}s (pid %d) ignored SIGTERM; killing it", description_.label, *instance_);
            processes_.signal(*instance_, SIGKILL);
        }
    });
}

}  // namespace lidora::vmac
