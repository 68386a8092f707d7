#pragma once

#include <exception>
#include <functional>

#include "core/ports/RunLoop.h"
#include "core/runtime/Task.h"

namespace lidora {

namespace detail {

// Owns itself: starts at once and frees its frame when the task ends.
struct Detached {
    struct promise_type {
        Detached get_return_object() const noexcept { return {}; }
        std::suspend_never initial_suspend() const noexcept { return {}; }
        std::suspend_never final_suspend() const noexcept { return {}; }
        void return_void() const noexcept {}
        // A detached task has nobody to hand a failure to.
        [[noreturn]] void unhandled_exception() const noexcept { std::terminate(); }
    };
};

inline Detached runDetached(Task<void> task) {
    co_await std::move(task);
}

}  // namespace detail

// Starts a task on the run loop's thread, soon, owned by nobody. It must
// catch its own errors; an escaping exception ends the process.
inline void spawn(RunLoop& loop, Task<void> task) {
    // The task moves into a shared holder because std::function needs a
    // copyable callable.
    auto holder = std::make_shared<Task<void>>(std::move(task));
    loop.post([holder] { detail::runDetached(std::move(*holder)); });
}

}  // namespace lidora
