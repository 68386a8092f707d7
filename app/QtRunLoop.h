#pragma once

#include <QObject>
#include <QTimer>
#include <map>
#include <memory>

#include "core/ports/RunLoop.h"
#include "core/runtime/TimerQueue.h"

class QSocketNotifier;

namespace lidora::app {

// The app's run loop is Qt's event loop: posts are queued events, timers
// share one precise QTimer armed for the earliest due timer, and watches
// are socket notifiers.
class QtRunLoop final : public QObject, public RunLoop {
public:
    QtRunLoop();
    ~QtRunLoop() override;
    QtRunLoop(const QtRunLoop&) = delete;
    QtRunLoop& operator=(const QtRunLoop&) = delete;

    [[nodiscard]] TimePoint now() const override { return ContinuousClock::now(); }
    void post(std::function<void()> work) override;
    [[nodiscard]] Cancellable scheduleAt(TimePoint when, std::function<void()> work) override;
    [[nodiscard]] Cancellable scheduleRepeating(Duration interval, std::function<void()> work) override;
    [[nodiscard]] Cancellable watch(int fd, unsigned events, std::function<void(unsigned)> ready) override;

private:
    class Watches;

    void runDueTimers();
    void arm();

    std::shared_ptr<TimerQueue> timers_ = std::make_shared<TimerQueue>();
    std::shared_ptr<Watches> watches_;
    QTimer timer_;
};

}  // namespace lidora::app
