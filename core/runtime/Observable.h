#pragma once

#include <functional>

#include "core/runtime/CallbackList.h"

namespace lidora {

// A value that tells its subscribers when it changes, and only then.
// Subscribers may subscribe, unsubscribe or set the value while being told.
template <typename T>
class Observable {
public:
    using Callback = std::function<void(const T&)>;

    explicit Observable(T initial = T{}) : value_(std::move(initial)) {}
    Observable(const Observable&) = delete;
    Observable& operator=(const Observable&) = delete;

    [[nodiscard]] const T& get() const { return value_; }

    // Returns whether the value changed.
    bool set(T value) {
        if (value == value_) {
            return false;
        }
        value_ = std::move(value);
        // A copy: subscribers may set the value again while being told.
        const T snapshot = value_;
        subscribers_.call(snapshot);
        return true;
    }

    [[nodiscard]] Subscription subscribe(Callback callback) { return subscribers_.add(std::move(callback)); }

private:
    T value_;
    CallbackList<void(const T&)> subscribers_;
};

}  // namespace lidora
