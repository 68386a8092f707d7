#include "platform/frameworks/FrameworkBrightnessClient.h"

#include <cstdlib>
#include <memory>
#include <string>

#include "platform/prefs/PreferenceJson.h"

namespace lidora::vmac {

namespace {

using CopyPropertyImp = char* (*)(LidoraObjcObject* self, const char* cmd, const char* key);
using SetPropertyImp = signed char (*)(LidoraObjcObject* self, const char* cmd, const char* valueJson, const char* key);

struct FreeText {
    void operator()(char* text) const { std::free(text); }  // NOLINT(cppcoreguidelines-no-malloc): a copy's owner
};

}  // namespace

bool FrameworkBrightnessClient::respondsToSelector(std::string_view selector) const {
    return client_.respondsToSelector(selector);
}

std::optional<PreferenceValue> FrameworkBrightnessClient::copyPropertyForKey(std::string_view key) {
    const auto imp = reinterpret_cast<CopyPropertyImp>(client_.methodForSelector(kCopyPropertySelector));
    if (imp == nullptr) {
        return std::nullopt;
    }
    const std::string keyText(key);
    const std::unique_ptr<char, FreeText> copied(imp(client_.get(), kCopyPropertySelector.data(), keyText.c_str()));
    if (!copied) {
        return std::nullopt;
    }
    auto value = decodePreferenceValueJson(copied.get());
    if (!value) {
        return std::nullopt;
    }
    return std::move(value).value();
}

bool FrameworkBrightnessClient::setPropertyForKey(const PreferenceValue& value, std::string_view key) {
    const auto imp = reinterpret_cast<SetPropertyImp>(client_.methodForSelector(kSetPropertySelector));
    if (imp == nullptr) {
        return false;
    }
    const auto json = encodePreferenceValueJson(value);
    if (!json) {
        return false;
    }
    const std::string keyText(key);
    return imp(client_.get(), kSetPropertySelector.data(), json->c_str(), keyText.c_str()) != 0;
}

}  // namespace lidora::vmac
