#include "platform/tools/defaults/WriteArguments.h"

#include <algorithm>
#include <cctype>

#include "platform/prefs/ParseSupport.h"
#include "platform/prefs/PlistText.h"
#include "platform/prefs/XmlPlist.h"

namespace lidora::defaults {

namespace {

std::string lowercase(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return std::tolower(c); });
    return out;
}

Expected<PreferenceValue, std::string> parseBoolean(std::string_view text) {
    const std::string word = lowercase(text);
    if (word == "true" || word == "yes" || word == "1") {
        return PreferenceValue(true);
    }
    if (word == "false" || word == "no" || word == "0") {
        return PreferenceValue(false);
    }
    return unexpected("\"" + std::string(text) + "\" is not a Boolean (use true, false, yes, no, 1 or 0)");
}

template <typename T>
Expected<PreferenceValue, std::string> asValue(Expected<T, std::string> parsed) {
    if (!parsed) {
        return unexpected(parsed.error());
    }
    return PreferenceValue(*parsed);
}

Expected<PreferenceValue, std::string> parsePlain(std::string_view text) {
    if (text.starts_with('<') || text.starts_with('(') || text.starts_with('{')) {
        auto value = text.starts_with('<') ? vmac::parseXmlPlistFragment(text) : vmac::parseOldStylePlist(text);
        if (!value) {
            return unexpected("cannot parse \"" + std::string(text) + "\": " + value.error() +
                              " (quote it with -string to write it as text)");
        }
        return value;
    }
    return PreferenceValue(std::string(text));
}

class ArgumentReader {
public:
    explicit ArgumentReader(std::span<const std::string_view> arguments) : arguments_(arguments) {}

    [[nodiscard]] bool atEnd() const { return next_ >= arguments_.size(); }
    std::string_view take() { return arguments_[next_++]; }

    // One value: a type flag and its argument, or a plain value.
    Expected<PreferenceValue, std::string> value() {
        const std::string_view word = take();
        const bool typed = word == "-string" || word == "-int" || word == "-integer" || word == "-float" ||
                           word == "-bool" || word == "-boolean";
        if (!typed) {
            return parsePlain(word);
        }
        if (atEnd()) {
            return unexpected(std::string(word) + " needs a value");
        }
        const std::string_view text = take();
        if (word == "-string") {
            return PreferenceValue(std::string(text));
        }
        if (word == "-int" || word == "-integer") {
            return asValue(vmac::parseIntegerText(text));
        }
        if (word == "-float") {
            return asValue(vmac::parseRealText(text));
        }
        return parseBoolean(text);
    }

    Expected<PreferenceArray, std::string> items() {
        PreferenceArray items;
        while (!atEnd()) {
            auto item = value();
            if (!item) {
                return unexpected(item.error());
            }
            items.push_back(std::move(item).value());
        }
        return items;
    }

    Expected<PreferenceDictionary, std::string> entries() {
        PreferenceDictionary entries;
        while (!atEnd()) {
            std::string key(take());
            if (atEnd()) {
                return unexpected("key \"" + key + "\" has no value");
            }
            auto item = value();
            if (!item) {
                return unexpected(item.error());
            }
            entries.insert_or_assign(std::move(key), std::move(item).value());
        }
        return entries;
    }

private:
    std::span<const std::string_view> arguments_;
    std::size_t next_ = 0;
};

}  // namespace

Expected<WriteRequest, std::string> parseWriteArguments(std::span<const std::string_view> arguments) {
    if (arguments.empty()) {
        return unexpected(std::string("a value is needed"));
    }
    ArgumentReader reader(arguments);
    const std::string_view first = arguments.front();
    if (first == "-array" || first == "-array-add") {
        reader.take();
        auto items = reader.items();
        if (!items) {
            return unexpected(items.error());
        }
        if (first == "-array") {
            return WriteRequest(ReplaceValue{std::move(items).value()});
        }
        return WriteRequest(AppendToArray{std::move(items).value()});
    }
    if (first == "-dict" || first == "-dict-add") {
        reader.take();
        auto entries = reader.entries();
        if (!entries) {
            return unexpected(entries.error());
        }
        if (first == "-dict") {
            return WriteRequest(ReplaceValue{std::move(entries).value()});
        }
        return WriteRequest(MergeIntoDictionary{std::move(entries).value()});
    }
    auto value = reader.value();
    if (!value) {
        return unexpected(value.error());
    }
    if (!reader.atEnd()) {
        return unexpected("unexpected argument \"" + std::string(reader.take()) + "\" after the value");
    }
    return WriteRequest(ReplaceValue{std::move(value).value()});
}

}  // namespace lidora::defaults
