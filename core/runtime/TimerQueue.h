#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <unordered_map>

#include "core/runtime/Cancellable.h"
#include "core/runtime/Clock.h"

namespace lidora {

// Timers ordered by due time, then by the order they were scheduled. Shared
// by every run loop so that all of them order and repeat timers alike.
class TimerQueue final : public CancelTarget, public std::enable_shared_from_this<TimerQueue> {
public:
    // interval zero: one-shot.
    Cancellable add(TimePoint due, Duration interval, std::function<void()> work);
    void cancel(std::uint64_t id) override;

    [[nodiscard]] std::optional<TimePoint> nextDue() const;
    [[nodiscard]] std::size_t size() const { return timers_.size(); }

    // Runs the earliest timer if it is due at `now`; false when none is.
    bool runOneDue(TimePoint now);

private:
    struct Key {
        TimePoint due;
        std::uint64_t sequence;
        std::uint64_t id;
        bool operator<(const Key& other) const {
            return due != other.due ? due < other.due : sequence < other.sequence;
        }
    };
    struct Timer {
        Key key;
        Duration interval;
        std::shared_ptr<std::function<void()>> work;
    };

    std::set<Key> order_;
    std::unordered_map<std::uint64_t, Timer> timers_;
    std::uint64_t nextId_ = 1;
    std::uint64_t nextSequence_ = 1;
};

}  // namespace lidora
