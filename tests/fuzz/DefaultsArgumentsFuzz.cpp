// `defaults write DOMAIN KEY VALUE...` with any command line: the domain name
// is refused or names a file inside the folder, the value arguments give a
// change or an error, and what they give is written and read back unchanged
// (or refused as a whole, with a reason).

#include <variant>

#include "platform/prefs/PlistText.h"
#include "platform/prefs/PreferenceJson.h"
#include "platform/prefs/PreferenceStore.h"
#include "platform/tools/defaults/WriteArguments.h"
#include "tests/fuzz/FuzzInput.h"

using namespace lidora;
using namespace lidora::vmac;

namespace {

void apply(PreferenceDictionary& values, const std::string& key, const defaults::WriteRequest& request) {
    if (const auto* replace = std::get_if<defaults::ReplaceValue>(&request)) {
        values.insert_or_assign(key, replace->value);
    } else if (const auto* append = std::get_if<defaults::AppendToArray>(&request)) {
        auto& slot = values.try_emplace(key, PreferenceArray{}).first->second;
        if (const auto* items = slot.asArray()) {
            auto joined = *items;
            joined.insert(joined.end(), append->items.begin(), append->items.end());
            slot = std::move(joined);
        }
    } else if (const auto* merge = std::get_if<defaults::MergeIntoDictionary>(&request)) {
        auto& slot = values.try_emplace(key, PreferenceDictionary{}).first->second;
        if (const auto* entries = slot.asDictionary()) {
            auto merged = *entries;
            for (const auto& [name, item] : merge->entries) {
                merged.insert_or_assign(name, item);
            }
            slot = std::move(merged);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::FuzzInput input(data, size);
    const std::string_view domain = input.field();
    const std::string key(input.field());
    const std::vector<std::string_view> arguments = input.fields();

    if (validateDomainName(domain)) {
        LIDORA_FUZZ_CHECK(!domain.empty() && domain.front() != '.' && domain.find('/') == std::string_view::npos);
    }

    const auto request = defaults::parseWriteArguments(arguments);
    if (!request) {
        LIDORA_FUZZ_CHECK(!request.error().empty());
        return 0;
    }
    PreferenceDictionary values;
    // Twice, so that -array-add and -dict-add meet a value already there.
    apply(values, key, *request);
    apply(values, key, *request);
    const auto written = encodeDomainJson(values);
    if (!written) {
        LIDORA_FUZZ_CHECK(!written.error().empty());
        return 0;
    }
    const auto reread = decodeDomainJson(*written);
    LIDORA_FUZZ_CHECK(reread.has_value() && *reread == values);
    (void)formatPlistText(PreferenceValue(values));
    return 0;
}
