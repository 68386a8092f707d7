#include "platform/prefs/FileUserDefaults.h"

#include <cstdint>
#include <mutex>

namespace lidora::vmac {

namespace {

class DomainDefaults final : public UserDefaults {
public:
    DomainDefaults(Expected<PreferenceDomain, std::string> domain, std::shared_ptr<FolderWatch> watch,
                   std::function<void()> changed)
        : domain_(std::move(domain)),
          fileName_(domain_ ? domain_->file().filename().string() : std::string()),
          watch_(std::move(watch)),
          changed_(std::move(changed)) {}

    // Served from memory while the folder watch says the file is unchanged,
    // as user defaults are: the minute timer's reads cost next to nothing.
    [[nodiscard]] std::optional<PreferenceValue> object(std::string_view key) const override {
        if (!domain_) {
            return std::nullopt;
        }
        // Taken before reading, so a change during the read shows next time.
        const auto version = watch_->version(fileName_);
        if (!version) {
            return domain_->get(key);
        }
        const std::lock_guard lock(mutex_);
        if (!cached_ || cachedVersion_ != *version) {
            auto values = domain_->load();
            if (!values) {
                cached_.reset();
                return domain_->get(key);  // says what is wrong, once
            }
            cached_ = std::move(values).value();
            cachedVersion_ = *version;
        }
        const auto found = cached_->find(key);
        return found != cached_->end() ? std::optional(found->second) : std::nullopt;
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
    std::string fileName_;
    std::shared_ptr<FolderWatch> watch_;
    std::function<void()> changed_;
    mutable std::mutex mutex_;
    mutable std::optional<PreferenceDictionary> cached_;
    mutable std::uint64_t cachedVersion_ = 0;
};

}  // namespace

FileUserDefaults::FileUserDefaults(PreferencesDirectory directory, std::string bundleIdentifier, WarningHandler warn,
                                   Durability durability)
    : directory_(std::move(directory)),
      bundleIdentifier_(std::move(bundleIdentifier)),
      warn_(std::move(warn)),
      durability_(durability),
      observers_(std::make_shared<Observers>()),
      watch_(std::make_shared<FolderWatch>(directory_.path())),
      standard_(std::make_shared<DomainDefaults>(openDomain(bundleIdentifier_), watch_, notifier())) {}

FileUserDefaults::FileUserDefaults(const VmacPaths& paths, std::string bundleIdentifier, WarningHandler warn,
                                   Durability durability)
    : FileUserDefaults(PreferencesDirectory::ofCurrentUser(paths), std::move(bundleIdentifier), std::move(warn),
                       durability) {}

FileUserDefaults::~FileUserDefaults() = default;

void FileUserDefaults::announceChange() const {
    observers_->call();
}

std::shared_ptr<UserDefaults> FileUserDefaults::standard() {
    return standard_;
}

std::shared_ptr<UserDefaults> FileUserDefaults::suite(std::string_view name) {
    if (name == bundleIdentifier_) {
        return nullptr;
    }
    auto domain = openDomain(std::string(name));
    if (!domain) {
        return nullptr;
    }
    if (auto created = directory_.create(); !created) {
        if (warn_) {
            warn_("cannot open suite " + std::string(name) + ": " + created.error());
        }
        return nullptr;
    }
    return std::make_shared<DomainDefaults>(std::move(domain), watch_, notifier());
}

Expected<PreferenceDomain, std::string> FileUserDefaults::openDomain(std::string name) const {
    auto domain = PreferenceDomain::open(directory_, std::move(name), warn_);
    if (domain) {
        domain->setDurability(durability_);
    }
    return domain;
}

std::function<void()> FileUserDefaults::notifier() const {
    // Weakly: domains handed out may outlive the provider and its observers.
    return [observers = std::weak_ptr<Observers>(observers_)] {
        if (auto alive = observers.lock()) {
            alive->call();
        }
    };
}

Expected<Cancellable, std::string> FileUserDefaults::followWritesOf(RunLoop& loop, std::string_view domain) {
    return watch_->follow(loop, std::string(domain) + ".json", [observers = std::weak_ptr<Observers>(observers_)] {
        if (auto alive = observers.lock()) {
            alive->call();
        }
    });
}

Subscription FileUserDefaults::observeChanges(std::function<void()> changed) {
    return observers_->add(std::move(changed));
}

}  // namespace lidora::vmac
