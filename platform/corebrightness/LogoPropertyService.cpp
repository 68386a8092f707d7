#include "platform/corebrightness/LogoPropertyService.h"

#include "platform/corebrightness/LogoTables.h"
#include "platform/corebrightness/PropertyWire.h"
#include "platform/prefs/PreferenceJson.h"

namespace lidora::vmac {

Expected<void, std::string> LogoPropertyService::installFactoryTables() {
    const auto factory = factoryLogoTables();
    const auto installed = domain_.update([&](PreferenceDictionary& values) -> Expected<bool, std::string> {
        bool changed = false;
        for (const auto& [key, table] :
             {std::pair{kBrightnessCurveKey, &factory.curve}, std::pair{kBrightnessFloorKey, &factory.floor}}) {
            if (values.find(key) == values.end()) {
                values.emplace(std::string(key), preferenceValue(*table));
                changed = true;
            }
        }
        return changed;
    });
    if (!installed) {
        return unexpected(installed.error());
    }
    if (*installed) {
        log_.notice("Installed the factory logo tables");
    }
    return {};
}

std::optional<PreferenceValue> LogoPropertyService::copyProperty(std::string_view key) const {
    if (!isLogoTableKey(key)) {
        return std::nullopt;
    }
    return domain_.get(key);
}

bool LogoPropertyService::setProperty(std::string_view key, const PreferenceValue& value) {
    if (!isLogoTableKey(key)) {
        log_.error("Refused to set %{public}s: not a property clients may set", key);
        return false;
    }
    const auto table = validateLogoTable(value);
    if (!table) {
        log_.error("Refused to set %{public}s: %{public}s", key, table.error());
        return false;
    }
    if (auto stored = domain_.set(key, preferenceValue(*table)); !stored) {
        log_.error("Cannot store %{public}s: %{public}s", key, stored.error());
        return false;
    }
    return true;
}

std::string LogoPropertyService::handle(std::string_view line) {
    const auto request = parsePropertyRequest(line);
    if (!request) {
        return std::string(kNullReply);
    }
    if (request->kind == PropertyRequest::Kind::copy) {
        const auto value = copyProperty(request->key);
        if (!value) {
            return std::string(kNullReply);
        }
        auto json = encodePreferenceValueJson(*value);
        return json ? std::move(json).value() : std::string(kNullReply);
    }
    const auto value = decodePreferenceValueJson(request->valueJson);
    const bool stored = value && setProperty(request->key, *value);
    return std::string(stored ? kTrueReply : kFalseReply);
}

}  // namespace lidora::vmac
