#pragma once

#include <functional>

#include "core/runtime/Registry.h"

namespace lidora {

template <typename Signature, typename Mutex = NoLock>
class CallbackList;

// Callbacks told of something in registration order. Callbacks may add or
// cancel registrations while being called; one cancelled meanwhile is
// skipped, one added meanwhile waits for the next call.
template <typename... Args, typename Mutex>
class CallbackList<void(Args...), Mutex> {
public:
    using Callback = std::function<void(Args...)>;

    [[nodiscard]] Cancellable add(Callback callback) { return registry_.add(std::move(callback)); }

    void call(const Args&... args) const {
        for (const auto& [id, callback] : registry_.snapshot()) {
            if (registry_.contains(id)) {
                (*callback)(args...);
            }
        }
    }

    [[nodiscard]] bool empty() const { return registry_.empty(); }

private:
    Registry<Callback, Mutex> registry_;
};

}  // namespace lidora
