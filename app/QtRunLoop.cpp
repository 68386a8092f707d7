#include "app/QtRunLoop.h"

#include <QMetaObject>
#include <QSocketNotifier>
#include <algorithm>
#include <chrono>

#include "core/runtime/Registry.h"

namespace lidora::app {

namespace {

// One descriptor watch; the notifiers go with it.
class SocketWatch {
public:
    SocketWatch(int fd, unsigned events, std::function<void(unsigned)> ready)
        : ready_(std::make_shared<std::function<void(unsigned)>>(std::move(ready))) {
        // Weakly: a watch cancelled by an earlier callback is not called.
        auto notify = [weak = std::weak_ptr(ready_)](unsigned event) {
            if (const auto ready = weak.lock()) {
                (*ready)(event);
            }
        };
        if ((events & FdEvent::Readable) != 0 || events == 0) {
            read_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
            QObject::connect(read_.get(), &QSocketNotifier::activated, [notify] { notify(FdEvent::Readable); });
        }
        if ((events & FdEvent::Writable) != 0) {
            write_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
            QObject::connect(write_.get(), &QSocketNotifier::activated, [notify] { notify(FdEvent::Writable); });
        }
    }
    SocketWatch(const SocketWatch&) = delete;
    SocketWatch& operator=(const SocketWatch&) = delete;
    ~SocketWatch() {
        // The notifier may be the one whose signal is running now.
        for (auto* notifier : {read_.release(), write_.release()}) {
            if (notifier != nullptr) {
                notifier->setEnabled(false);
                notifier->deleteLater();
            }
        }
    }

private:
    std::shared_ptr<std::function<void(unsigned)>> ready_;
    std::unique_ptr<QSocketNotifier> read_;
    std::unique_ptr<QSocketNotifier> write_;
};

}  // namespace

class QtRunLoop::Watches final : public Registry<SocketWatch> {};

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
    return watches_->add(fd, events, std::move(ready));
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
