#pragma once

#include <cstdint>
#include <memory>

namespace lidora {

// Something that can withdraw a registration it handed out (a timer, a
// watch, a subscription). Handles hold it weakly, so a handle that outlives
// its owner cancels nothing.
class CancelTarget {
public:
    virtual ~CancelTarget() = default;
    virtual void cancel(std::uint64_t id) = 0;
};

// Owning handle of one registration: cancels it when destroyed unless
// detached. Move-only.
class Cancellable {
public:
    Cancellable() = default;
    Cancellable(std::weak_ptr<CancelTarget> target, std::uint64_t id) : target_(std::move(target)), id_(id) {}
    Cancellable(const Cancellable&) = delete;
    Cancellable& operator=(const Cancellable&) = delete;
    Cancellable(Cancellable&& other) noexcept : target_(std::move(other.target_)), id_(other.id_) {
        other.target_.reset();
    }
    Cancellable& operator=(Cancellable&& other) noexcept {
        if (this != &other) {
            cancel();
            target_ = std::move(other.target_);
            id_ = other.id_;
            other.target_.reset();
        }
        return *this;
    }
    ~Cancellable() { cancel(); }

    void cancel() {
        if (auto target = target_.lock()) {
            target_.reset();
            target->cancel(id_);
        }
        target_.reset();
    }

    // Lets the registration live on without this handle.
    void detach() { target_.reset(); }

    [[nodiscard]] bool holdsRegistration() const { return !target_.expired(); }

private:
    std::weak_ptr<CancelTarget> target_;
    std::uint64_t id_ = 0;
};

using Subscription = Cancellable;

}  // namespace lidora
