#pragma once

#include "core/ports/BrightnessSystemClient.h"
#include "platform/objc/ObjcObject.h"

namespace lidora::vmac {

// A BrightnessSystemClient instance of the loaded CoreBrightness framework,
// its methods called through their implementations; values cross as JSON
// text and come back as property-list values.
class FrameworkBrightnessClient final : public BrightnessSystemClient {
public:
    explicit FrameworkBrightnessClient(ObjcObject client) : client_(std::move(client)) {}

    [[nodiscard]] bool respondsToSelector(std::string_view selector) const override;
    [[nodiscard]] std::optional<PreferenceValue> copyPropertyForKey(std::string_view key) override;
    bool setPropertyForKey(const PreferenceValue& value, std::string_view key) override;

private:
    ObjcObject client_;
};

}  // namespace lidora::vmac
