#include "platform/runloop/PollRunLoop.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <system_error>
#include <vector>

namespace lidora::vmac {

PollRunLoop::PollRunLoop() {
    wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd_ < 0) {
        throw std::system_error(errno, std::generic_category(), "eventfd");
    }
}

PollRunLoop::~PollRunLoop() {
    ::close(wakeFd_);
}

void PollRunLoop::wake() {
    const std::uint64_t one = 1;
    // A full counter already means "wake up"; nothing else can go wrong here.
    [[maybe_unused]] const auto written = ::write(wakeFd_, &one, sizeof one);
}

void PollRunLoop::post(std::function<void()> work) {
    if (posted_.push(std::move(work)) && runningOn_.load(std::memory_order_relaxed) != std::this_thread::get_id()) {
        wake();
    }
}

Cancellable PollRunLoop::scheduleAt(TimePoint when, std::function<void()> work) {
    return timers_->add(when, Duration::zero(), std::move(work));
}

Cancellable PollRunLoop::scheduleRepeating(Duration interval, std::function<void()> work) {
    if (interval <= Duration::zero()) {
        interval = Duration(1);
    }
    return timers_->add(now() + interval, interval, std::move(work));
}

Cancellable PollRunLoop::watch(int fd, unsigned events, std::function<void(unsigned)> ready) {
    return watches_.add(fd, events, std::move(ready));
}

void PollRunLoop::stop() {
    stopRequested_ = true;
    wake();
}

void PollRunLoop::run() {
    runUntil(TimePoint::max());
}

void PollRunLoop::runUntil(TimePoint deadline) {
    const auto outer = runningOn_.exchange(std::this_thread::get_id());
    while (!stopRequested_.exchange(false)) {
        if (now() >= deadline) {
            break;
        }
        iterate(deadline);
    }
    runningOn_.store(outer);
}

void PollRunLoop::iterate(TimePoint deadline) {
    posted_.runBatch();
    // Timers that came due before this pass; ones they schedule for "now"
    // wait for the next pass so that descriptors are not starved.
    const TimePoint passTime = now();
    while (timers_->runOneDue(passTime)) {
        if (stopRequested_) {
            return;
        }
    }

    std::vector<pollfd> fds;
    std::vector<std::uint64_t> ids;
    fds.push_back(pollfd{wakeFd_, POLLIN, 0});
    for (const auto& [id, w] : watches_.entries()) {
        short events = 0;
        if ((w->events & FdEvent::Readable) != 0U) {
            events |= POLLIN;
        }
        if ((w->events & FdEvent::Writable) != 0U) {
            events |= POLLOUT;
        }
        fds.push_back(pollfd{w->fd, events, 0});
        ids.push_back(id);
    }

    int timeoutMs = -1;
    {
        std::optional<TimePoint> wakeAt = timers_->nextDue();
        if (deadline != TimePoint::max() && (!wakeAt || deadline < *wakeAt)) {
            wakeAt = deadline;
        }
        if (!posted_.empty()) {
            timeoutMs = 0;
        } else if (wakeAt) {
            const auto remaining = *wakeAt - now();
            // Round up so a timer is never polled for before it is due.
            const auto ms = (remaining.count() + 999'999) / 1'000'000;
            timeoutMs = remaining.count() <= 0 ? 0 : static_cast<int>(std::min<long long>(ms, INT_MAX));
        }
    }

    const int ready = ::poll(fds.data(), fds.size(), timeoutMs);
    if (ready <= 0) {
        return;
    }
    if ((fds[0].revents & POLLIN) != 0) {
        std::uint64_t count = 0;
        [[maybe_unused]] const auto got = ::read(wakeFd_, &count, sizeof count);
    }
    for (std::size_t i = 1; i < fds.size(); ++i) {
        if (fds[i].revents == 0) {
            continue;
        }
        unsigned bits = 0;
        if ((fds[i].revents & POLLIN) != 0) {
            bits |= FdEvent::Readable;
        }
        if ((fds[i].revents & POLLOUT) != 0) {
            bits |= FdEvent::Writable;
        }
        if ((fds[i].revents & (POLLERR | POLLNVAL)) != 0) {
            bits |= FdEvent::Error;
        }
        if ((fds[i].revents & POLLHUP) != 0) {
            bits |= FdEvent::HangUp;
        }
        // Skipped when an earlier callback of this pass cancelled it.
        watches_.notify(ids[i - 1], bits);
    }
}

}  // namespace lidora::vmac
