#include "core/prefs/PreferenceValue.h"

#include <cmath>
#include <limits>

namespace lidora {

std::optional<bool> PreferenceValue::asBool() const {
    if (const auto* b = std::get_if<bool>(&storage_)) {
        return *b;
    }
    if (const auto* i = std::get_if<std::int64_t>(&storage_)) {
        return *i != 0;
    }
    if (const auto* d = std::get_if<double>(&storage_)) {
        return *d != 0.0;
    }
    if (const auto* s = std::get_if<std::string>(&storage_)) {
        if (*s == "YES" || *s == "yes" || *s == "true" || *s == "TRUE" || *s == "1") {
            return true;
        }
        if (*s == "NO" || *s == "no" || *s == "false" || *s == "FALSE" || *s == "0") {
            return false;
        }
    }
    return std::nullopt;
}

std::optional<std::int64_t> PreferenceValue::asInteger() const {
    if (const auto* i = std::get_if<std::int64_t>(&storage_)) {
        return *i;
    }
    if (const auto* b = std::get_if<bool>(&storage_)) {
        return *b ? 1 : 0;
    }
    if (const auto* d = std::get_if<double>(&storage_)) {
        // Out-of-range or NaN doubles have no integer reading.
        if (std::isfinite(*d) && *d >= -9.2e18 && *d <= 9.2e18) {
            return static_cast<std::int64_t>(*d);
        }
    }
    return std::nullopt;
}

std::optional<double> PreferenceValue::asDouble() const {
    if (const auto* d = std::get_if<double>(&storage_)) {
        return *d;
    }
    if (const auto* i = std::get_if<std::int64_t>(&storage_)) {
        return static_cast<double>(*i);
    }
    if (const auto* b = std::get_if<bool>(&storage_)) {
        return *b ? 1.0 : 0.0;
    }
    return std::nullopt;
}

const char* PreferenceValue::typeName() const {
    switch (storage_.index()) {
        case 0: return "boolean";
        case 1: return "integer";
        case 2: return "float";
        case 3: return "string";
        case 4: return "array";
        default: return "dictionary";
    }
}

}  // namespace lidora
