#pragma once

#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "core/runtime/Cancellable.h"

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
        const T snapshot = value_;
        std::vector<std::pair<std::uint64_t, std::shared_ptr<Callback>>> current(subscribers_->entries.begin(),
                                                                                 subscribers_->entries.end());
        for (const auto& [id, callback] : current) {
            if (subscribers_->entries.count(id) != 0) {
                (*callback)(snapshot);
            }
        }
        return true;
    }

    [[nodiscard]] Subscription subscribe(Callback callback) {
        const std::uint64_t id = subscribers_->nextId++;
        subscribers_->entries.emplace(id, std::make_shared<Callback>(std::move(callback)));
        return Subscription(subscribers_, id);
    }

private:
    struct Subscribers final : CancelTarget {
        void cancel(std::uint64_t id) override { entries.erase(id); }
        std::map<std::uint64_t, std::shared_ptr<Callback>> entries;
        std::uint64_t nextId = 1;
    };

    T value_;
    std::shared_ptr<Subscribers> subscribers_ = std::make_shared<Subscribers>();
};

}  // namespace lidora
