#pragma once

#include <functional>
#include <memory>

#include "core/ports/RunLoop.h"

namespace lidora {

// Posts work to the run loop on behalf of one owner, from any thread. What is
// still queued when the owner (which holds this) goes away is dropped. For
// callbacks that arrive on other threads, where no handle can withdraw what
// they already posted.
class OwnedPosts {
public:
    explicit OwnedPosts(RunLoop& loop) : loop_(loop) {}
    OwnedPosts(const OwnedPosts&) = delete;
    OwnedPosts& operator=(const OwnedPosts&) = delete;

    void post(std::function<void()> work) const {
        loop_.post([owner = std::weak_ptr<const Token>(token_), work = std::move(work)] {
            if (!owner.expired()) {
                work();
            }
        });
    }

private:
    struct Token {};
    RunLoop& loop_;
    std::shared_ptr<const Token> token_ = std::make_shared<const Token>();
};

}  // namespace lidora
