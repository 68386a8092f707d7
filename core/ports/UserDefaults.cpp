#include "core/ports/UserDefaults.h"

namespace lidora {

std::optional<bool> UserDefaults::boolean(std::string_view key) const {
    const auto value = object(key);
    return value ? value->asBool() : std::nullopt;
}

std::optional<std::int64_t> UserDefaults::integer(std::string_view key) const {
    const auto value = object(key);
    return value ? value->asInteger() : std::nullopt;
}

std::optional<double> UserDefaults::number(std::string_view key) const {
    const auto value = object(key);
    return value ? value->asDouble() : std::nullopt;
}

std::optional<std::string> UserDefaults::string(std::string_view key) const {
    const auto value = object(key);
    if (!value || !value->asString()) {
        return std::nullopt;
    }
    return *value->asString();
}

std::shared_ptr<UserDefaults> suiteOrStandard(UserDefaultsProvider& provider, std::string_view name) {
    if (auto suite = provider.suite(name)) {
        return suite;
    }
    return provider.standard();
}

}  // namespace lidora
