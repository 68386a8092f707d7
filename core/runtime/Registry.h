#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "core/runtime/Cancellable.h"

namespace lidora {

// For a registry used on one thread only.
struct NoLock {
    void lock() {}
    void unlock() {}
};

// Entries keyed by registration, each withdrawn by the Cancellable handed out
// for it. Entries are shared so that one being called stays alive while it
// cancels itself. An entry is destroyed outside the lock: its destructor may
// cancel other handles of the same registry.
template <typename Entry, typename Mutex = NoLock>
class Registry {
public:
    using Snapshot = std::vector<std::pair<std::uint64_t, std::shared_ptr<Entry>>>;

    Registry() = default;
    Registry(const Registry&) = delete;
    Registry& operator=(const Registry&) = delete;

    template <typename... Args>
    [[nodiscard]] Cancellable add(Args&&... args) {
        auto entry = std::make_shared<Entry>(std::forward<Args>(args)...);
        const std::lock_guard lock(state_->mutex);
        const std::uint64_t id = state_->nextId++;
        state_->entries.emplace(id, std::move(entry));
        return Cancellable(state_, id);
    }

    // Empty once cancelled.
    [[nodiscard]] std::shared_ptr<Entry> find(std::uint64_t id) const {
        const std::lock_guard lock(state_->mutex);
        const auto found = state_->entries.find(id);
        return found != state_->entries.end() ? found->second : nullptr;
    }
    [[nodiscard]] bool contains(std::uint64_t id) const {
        const std::lock_guard lock(state_->mutex);
        return state_->entries.count(id) != 0;
    }
    // In registration order; callers may add or cancel while walking it.
    [[nodiscard]] Snapshot snapshot() const {
        const std::lock_guard lock(state_->mutex);
        return Snapshot(state_->entries.begin(), state_->entries.end());
    }
    [[nodiscard]] bool empty() const {
        const std::lock_guard lock(state_->mutex);
        return state_->entries.empty();
    }

private:
    struct State final : CancelTarget {
        void cancel(std::uint64_t id) override {
            std::shared_ptr<Entry> doomed;
            {
                const std::lock_guard lock(mutex);
                const auto found = entries.find(id);
                if (found == entries.end()) {
                    return;
                }
                doomed = std::move(found->second);
                entries.erase(found);
            }
        }

        Mutex mutex;
        std::map<std::uint64_t, std::shared_ptr<Entry>> entries;
        std::uint64_t nextId = 1;
    };

    std::shared_ptr<State> state_ = std::make_shared<State>();
};

}  // namespace lidora
