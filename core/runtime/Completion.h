#pragma once

#include <coroutine>
#include <memory>
#include <optional>

#include "core/ports/RunLoop.h"

namespace lidora {

// A one-shot result that callbacks fill in and one coroutine awaits. The
// first resolve() wins; later ones are ignored, so a reply, an error and a
// time-out can race for it. The waiter is always resumed from the run loop,
// never inside resolve(). Use on the loop's thread only.
template <typename T>
class Completion {
    struct State {
        explicit State(RunLoop& l) : loop(l) {}
        RunLoop& loop;
        std::optional<T> value;
        std::coroutine_handle<> waiter;
    };

public:
    explicit Completion(RunLoop& loop) : state_(std::make_shared<State>(loop)) {}

    // Returns whether this call decided the result.
    bool resolve(T value) const {
        if (state_->value) {
            return false;
        }
        state_->value.emplace(std::move(value));
        if (state_->waiter) {
            state_->loop.post([state = state_] {
                if (auto waiter = std::exchange(state->waiter, nullptr)) {
                    waiter.resume();
                }
            });
        }
        return true;
    }

    [[nodiscard]] bool resolved() const { return state_->value.has_value(); }

    class Awaiter {
    public:
        explicit Awaiter(std::shared_ptr<State> state) : state_(std::move(state)) {}
        Awaiter(const Awaiter&) = delete;
        Awaiter& operator=(const Awaiter&) = delete;
        ~Awaiter() {
            // The awaiting coroutine is being destroyed: do not resume it.
            if (state_->waiter == self_) {
                state_->waiter = nullptr;
            }
        }
        [[nodiscard]] bool await_ready() const noexcept { return state_->value.has_value(); }
        void await_suspend(std::coroutine_handle<> handle) {
            self_ = handle;
            state_->waiter = handle;
        }
        T await_resume() { return std::move(*state_->value); }

    private:
        std::shared_ptr<State> state_;
        std::coroutine_handle<> self_;
    };

    Awaiter operator co_await() const { return Awaiter(state_); }

private:
    std::shared_ptr<State> state_;
};

}  // namespace lidora
