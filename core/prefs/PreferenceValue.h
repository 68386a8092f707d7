#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace lidora {

class PreferenceValue;
using PreferenceArray = std::vector<PreferenceValue>;
using PreferenceDictionary = std::map<std::string, PreferenceValue, std::less<>>;

// One typed preference value, as property lists have them: Boolean,
// integer, double, string, array, dictionary.
class PreferenceValue {
public:
    using Storage = std::variant<bool, std::int64_t, double, std::string, PreferenceArray, PreferenceDictionary>;

    PreferenceValue() : storage_(false) {}
    PreferenceValue(bool v) : storage_(v) {}                             // NOLINT(google-explicit-constructor)
    PreferenceValue(int v) : storage_(static_cast<std::int64_t>(v)) {}   // NOLINT(google-explicit-constructor)
    PreferenceValue(std::int64_t v) : storage_(v) {}                     // NOLINT(google-explicit-constructor)
    PreferenceValue(double v) : storage_(v) {}                           // NOLINT(google-explicit-constructor)
    PreferenceValue(const char* v) : storage_(std::string(v)) {}         // NOLINT(google-explicit-constructor)
    PreferenceValue(std::string v) : storage_(std::move(v)) {}           // NOLINT(google-explicit-constructor)
    PreferenceValue(PreferenceArray v) : storage_(std::move(v)) {}       // NOLINT(google-explicit-constructor)
    PreferenceValue(PreferenceDictionary v) : storage_(std::move(v)) {}  // NOLINT(google-explicit-constructor)

    [[nodiscard]] const Storage& storage() const { return storage_; }

    [[nodiscard]] bool isBool() const { return std::holds_alternative<bool>(storage_); }
    [[nodiscard]] bool isInteger() const { return std::holds_alternative<std::int64_t>(storage_); }
    [[nodiscard]] bool isDouble() const { return std::holds_alternative<double>(storage_); }
    [[nodiscard]] bool isString() const { return std::holds_alternative<std::string>(storage_); }
    [[nodiscard]] bool isArray() const { return std::holds_alternative<PreferenceArray>(storage_); }
    [[nodiscard]] bool isDictionary() const { return std::holds_alternative<PreferenceDictionary>(storage_); }

    // Reads in the lenient way of user defaults: numbers convert among
    // themselves and to Booleans, and "YES"/"true"/"1" strings count as true.
    [[nodiscard]] std::optional<bool> asBool() const;
    [[nodiscard]] std::optional<std::int64_t> asInteger() const;
    [[nodiscard]] std::optional<double> asDouble() const;
    // Strict: only strings.
    [[nodiscard]] const std::string* asString() const { return std::get_if<std::string>(&storage_); }
    [[nodiscard]] const PreferenceArray* asArray() const { return std::get_if<PreferenceArray>(&storage_); }
    [[nodiscard]] const PreferenceDictionary* asDictionary() const {
        return std::get_if<PreferenceDictionary>(&storage_);
    }

    // The type's name as `defaults read-type` says it.
    [[nodiscard]] const char* typeName() const;

    friend bool operator==(const PreferenceValue& a, const PreferenceValue& b) { return a.storage_ == b.storage_; }

private:
    Storage storage_;
};

}  // namespace lidora
