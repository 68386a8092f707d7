#include "app/QtRunLoop.h"

#include <QMetaObject>
#include <QSocketNotifier>
#include <algorithm>
#include <chrono>

namespace lidora::app {

class QtRunLoop::Watches final : public CancelTarget {
public:
    struct Entry {
        std::shared_ptr<std::function<void(unsigned)>> ready;
        std::unique_ptr<QSocketNotifier> read;
        std::unique_ptr<QSocketNotifier> write;
    };

    Cancellable add(const std::shared_ptr<Watches>& self, int fd, unsigned events,
                    std::function<void(unsigned)> ready) {
        const std::uint64_t id = nextId_++;
        Entry entry{std::make_shared<std::function<void(unsigned)>>(std::move(ready)), nullptr, nullptr};
        auto notify = [weak = std::weak_ptr<Watches>(self), id](unsigned event) {
            if (auto watches = weak.lock()) {
                const auto found = watches->entries_.find(id);
                if (found != watches->entries_.end()) {
                    const auto ready = found->second.ready;
                    (*ready)(event);
                }
            }
        };
        if ((events & FdEvent::Readable) != 0 || events == 0) {
            entry.read = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
            QObject::connect(entry.read.get(), &QSocketNotifier::activated, [notify] { notify(FdEvent::Readable); });
        }
        if ((events & FdEvent::Writable) != 0) {
            entry.write = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
            QObject::connect(entry.write.get(), &QSocketNotifier::activated, [notify] { notify(FdEvent::Writable); });
        }
        entries_.emplace(id, std::move(entry));
        return Cancellable(self, id);
    }

    void cancel(std::uint64_t id) override {
        const auto found = entries_.find(id);
        if (found == entries_.end()) {
            return;
        }
        // The notifier may be the one whose signal is running now.
        for (auto* notifier : {found->second.read.release(), found->second.write.release()}) {
            if (notifier != nullptr) {
                notifier->setEnabled(false);
                notifier->deleteLater();
            }
        }
        entries_.erase(found);
    }

private:
    std::map<std::uint64_t, Entry> entries_;
    std::uint64_t nextId_ = 1;
};

QtRunLoop::QtRunLoop() : watches_(std::make_shared<Watches>()) {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, this, [this] { runDueTimers(); });
}

QtRunLoop::~QtRunLoop() = default;

void QtRunLoop::post(std::function<void()> work) {
    QMetaObject::invokeMethod(
        this, [work = std::move(work)] { work(); }, Qt::QueuedConnection);
}

Cancellable QtRunLoop::scheduleAt(TimePoint when, std::function<void()> work) {
    auto handle = timers_->add(when, Duration::zero(), std::move(work));
    arm();
    return handle;
}

Cancellable QtRunLoop::scheduleRepeating(Duration interval, std::function<void()> work) {
    auto handle = timers_->add(now() + interval, interval, std::move(work));
    arm();
    return handle;
}

Cancellable QtRunLoop::watch(int fd, unsigned events, std::function<void(unsigned)> ready) {
    return watches_->add(watches_, fd, events, std::move(ready));
}

void QtRunLoop::runDueTimers() {
    const auto until = now();
    while (timers_->runOneDue(until)) {
    }
    arm();
}

void QtRunLoop::arm() {
    const auto due = timers_->nextDue();
    if (!due) {
        timer_.stop();
        return;
    }
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(std::max(Duration::zero(), *due - now()));
    timer_.start(static_cast<int>(std::min<std::int64_t>(wait.count(), std::numeric_limits<int>::max())));
}

}  // namespace lidora::app
