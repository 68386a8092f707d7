#pragma once

#include <coroutine>
#include <exception>
#include <utility>

#include "core/runtime/Task.h"

namespace lidora::testing {

// Starts a task at once and owns it: destroying this destroys the whole
// chain of suspended frames, as an owner going away would.
class StartedTask {
public:
    struct promise_type {
        StartedTask get_return_object() {
            return StartedTask(std::coroutine_handle<promise_type>::from_promise(*this));
        }
        std::suspend_never initial_suspend() const noexcept { return {}; }
        std::suspend_always final_suspend() const noexcept { return {}; }
        void return_void() const noexcept {}
        void unhandled_exception() noexcept { error = std::current_exception(); }
        std::exception_ptr error;
    };

    StartedTask(StartedTask&& other) noexcept : handle_(std::exchange(other.handle_, {})) {}
    StartedTask(const StartedTask&) = delete;
    StartedTask& operator=(const StartedTask&) = delete;
    StartedTask& operator=(StartedTask&&) = delete;
    ~StartedTask() {
        if (handle_) {
            handle_.destroy();
        }
    }

    [[nodiscard]] bool done() const { return handle_.done(); }
    [[nodiscard]] std::exception_ptr error() const { return handle_.promise().error; }

private:
    explicit StartedTask(std::coroutine_handle<promise_type> handle) : handle_(handle) {}
    std::coroutine_handle<promise_type> handle_;
};

template <typename T>
StartedTask start(Task<T> task) {
    co_await std::move(task);
}

}  // namespace lidora::testing
