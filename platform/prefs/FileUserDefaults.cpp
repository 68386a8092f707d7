#include "prefs/FileUserDefaults.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <vector>

namespace lidora::vmac {

class FileUserDefaults::Observers final : public CancelTarget {
public:
    Subscription add(std::function<void()> callback, const std::shared_ptr<Observers>& self) {
        const std::lock_guard lock(mutex_);
        const std::uint64_t id = nextId_++;
        entries_.emplace(id, std::make_shared<std::function<void()>>(std::move(callback)));
        return Subscription(self, id);
    }

    void cancel(std::uint64_t id) override {
        const std::lock_guard lock(mutex_);
        entries_.erase(id);
    }

    // Works on a snapshot so callbacks may subscribe or unsubscribe; one
    // cancelled meanwhile is skipped.
    void notify() {
        std::vector<std::pair<std::uint64_t, std::shared_ptr<std::function<void()>>>> snapshot;
        {
            const std::lock_guard lock(mutex_);
            snapshot.assign(entries_.begin(), entries_.end());
        }
        for (const auto& [id, callback] : snapshot) {
            bool stillThere = false;
            {
                const std::lock_guard lock(mutex_);
                stillThere = entries_.count(id) != 0;
            }
            if (stillThere) {
                (*callback)();
            }
        }
    }

private:
    std::mutex mutex_;
    std::map<std::uint64_t, std::shared_ptr<std::function<void()>>> entries_;
    std::uint64_t nextId_ = 1;
};

namespace {

class DomainDefaults final : public UserDefaults {
public:
    DomainDefaults(Expected<PreferenceDomain, std::string> domain, std::function<void()> changed)
        : domain_(std::move(domain)), changed_(std::move(changed)) {}

    [[nodiscard]] std::optional<PreferenceValue> object(std::string_view key) const override {
        return domain_ ? domain_->get(key) : std::nullopt;
    }

    Expected<void, std::string> set(std::string_view key, PreferenceValue value) override {
        if (!domain_) {
            return unexpected(domain_.error());
        }
        auto result = domain_->set(key, std::move(value));
        if (result) {
            changed_();
        }
        return result;
    }

    Expected<void, std::string> remove(std::string_view key) override {
        if (!domain_) {
            return unexpected(domain_.error());
        }
        auto result = domain_->remove(key);
        if (!result) {
            return unexpected(result.error());
        }
        changed_();
        return {};
    }

private:
    Expected<PreferenceDomain, std::string> domain_;
    std::function<void()> changed_;
};

}  // namespace

FileUserDefaults::FileUserDefaults(PreferencesDirectory directory, std::string bundleIdentifier, WarningHandler warn)
    : directory_(std::move(directory)),
      bundleIdentifier_(std::move(bundleIdentifier)),
      warn_(std::move(warn)),
      observers_(std::make_shared<Observers>()),
      standard_(
          std::make_shared<DomainDefaults>(PreferenceDomain::open(directory_, bundleIdentifier_, warn_), notifier())) {}

FileUserDefaults::FileUserDefaults(const VmacPaths& paths, std::string bundleIdentifier, WarningHandler warn)
    : FileUserDefaults(PreferencesDirectory::ofCurrentUser(paths), std::move(bundleIdentifier), std::move(warn)) {}

FileUserDefaults::~FileUserDefaults() = default;

void FileUserDefaults::announceChange() const { observers_->notify(); }

std::shared_ptr<UserDefaults> FileUserDefaults::standard() {
    return standard_;
}

std::shared_ptr<UserDefaults> FileUserDefaults::suite(std::string_view name) {
    if (name == bundleIdentifier_) {
        return nullptr;
    }
    auto domain = PreferenceDomain::open(directory_, std::string(name), warn_);
    if (!domain) {
        return nullptr;
    }
    if (auto created = directory_.create(); !created) {
        if (warn_) {
            warn_("cannot open suite " + std::string(name) + ": " + created.error());
        }
        return nullptr;
    }
    return std::make_shared<DomainDefaults>(std::move(domain), notifier());
}

std::function<void()> FileUserDefaults::notifier() const {
    // Weakly: domains handed out may outlive the provider and its observers.
    return [observers = std::weak_ptr<Observers>(observers_)] {
        if (auto alive = observers.lock()) {
            alive->notify();
        }
    };
}

Subscription FileUserDefaults::observeChanges(std::function<void()> changed) {
    return observers_->add(std::move(changed), observers_);
}

}  // namespace lidora::vmac
