#pragma once

#include <map>
#include <memory>
#include <string>

#include "core/ports/UserDefaults.h"

namespace lidora::testing {

class MemoryDefaults final : public UserDefaults {
public:
    [[nodiscard]] std::optional<PreferenceValue> object(std::string_view key) const override {
        const auto found = values.find(key);
        return found == values.end() ? std::nullopt : std::optional(found->second);
    }
    Expected<void, std::string> set(std::string_view key, PreferenceValue value) override {
        if (failWrites) {
            return unexpected(*failWrites);
        }
        values.insert_or_assign(std::string(key), std::move(value));
        return {};
    }
    Expected<void, std::string> remove(std::string_view key) override {
        values.erase(std::string(key));
        return {};
    }
    std::map<std::string, PreferenceValue, std::less<>> values;
    // When set, every write fails with this text (a full disk, say).
    std::optional<std::string> failWrites;
};

class MemoryDefaultsProvider final : public UserDefaultsProvider {
public:
    std::shared_ptr<UserDefaults> standard() override { return standardDefaults; }
    std::shared_ptr<UserDefaults> suite(std::string_view) override { return suiteOpens ? suiteDefaults : nullptr; }
    Subscription observeChanges(std::function<void()>) override { return {}; }

    std::shared_ptr<MemoryDefaults> standardDefaults = std::make_shared<MemoryDefaults>();
    std::shared_ptr<MemoryDefaults> suiteDefaults = std::make_shared<MemoryDefaults>();
    bool suiteOpens = true;
};

}  // namespace lidora::testing
