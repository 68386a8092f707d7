#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "core/prefs/PreferenceValue.h"
#include "core/runtime/Cancellable.h"
#include "core/runtime/Expected.h"

namespace lidora {

// One preference domain as the product sees it: the standard user defaults
// or a named suite. Every read sees the latest write of any process.
class UserDefaults {
public:
    virtual ~UserDefaults() = default;

    [[nodiscard]] virtual std::optional<PreferenceValue> object(std::string_view key) const = 0;
    // Failures (disk full, a foreign file in the way) come back as text.
    virtual Expected<void, std::string> set(std::string_view key, PreferenceValue value) = 0;
    virtual Expected<void, std::string> remove(std::string_view key) = 0;

    [[nodiscard]] std::optional<bool> boolean(std::string_view key) const;
    [[nodiscard]] std::optional<std::int64_t> integer(std::string_view key) const;
    [[nodiscard]] std::optional<double> number(std::string_view key) const;
    [[nodiscard]] std::optional<std::string> string(std::string_view key) const;
};

// Opens domains and tells the process about changes made through any of
// them, like the user-defaults did-change notification.
class UserDefaultsProvider {
public:
    virtual ~UserDefaultsProvider() = default;

    [[nodiscard]] virtual std::shared_ptr<UserDefaults> standard() = 0;
    // Empty when the suite cannot be opened.
    [[nodiscard]] virtual std::shared_ptr<UserDefaults> suite(std::string_view name) = 0;
    // Called after every change made in this process, on the thread that made it.
    [[nodiscard]] virtual Subscription observeChanges(std::function<void()> changed) = 0;
};

// A suite by name, or the standard defaults when it cannot be opened.
std::shared_ptr<UserDefaults> suiteOrStandard(UserDefaultsProvider& provider, std::string_view name);

}  // namespace lidora
