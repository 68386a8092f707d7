#include "core/light/HardwareSupport.h"

#include <algorithm>
#include <array>
#include <set>
#include <vector>

#include "core/text/UnicodeText.h"

namespace lidora {

namespace {

using ModelSet = std::set<std::string_view, std::less<>>;

const ModelSet& modelsWithLight() {
    static const ModelSet models{"Mac17,10", "Mac17,11", "Mac17,12", "Mac17,13"};
    return models;
}

// Current Apple silicon models known to have no lit logo.
const ModelSet& modelsWithoutLight() {
    static const ModelSet models{
        "Mac14,7", "Mac14,5",  "Mac14,6",  "Mac14,9",  "Mac14,10", "Mac15,3",  "Mac15,6",  "Mac15,7",
        "Mac15,8", "Mac15,9",  "Mac15,10", "Mac15,11", "Mac16,1",  "Mac16,5",  "Mac16,6",  "Mac16,7",
        "Mac16,8", "Mac14,2",  "Mac14,15", "Mac15,12", "Mac15,13", "Mac16,12", "Mac16,13", "Mac15,4",
        "Mac15,5", "Mac16,2",  "Mac16,3",  "Mac14,3",  "Mac14,12", "Mac16,10", "Mac16,11", "Mac13,1",
        "Mac13,2", "Mac14,13", "Mac14,14", "Mac15,14", "Mac16,9",  "Mac14,8",
    };
    return models;
}

// Older naming schemes and virtual machines: none of these has the light.
constexpr std::array<std::string_view, 7> kUnsupportedPrefixes{"MacBookPro", "MacBookAir", "MacBook",   "iMac",
                                                               "Macmini",    "MacPro",     "VirtualMac"};

}  // namespace

std::string_view hardwareSupportName(HardwareSupport support) {
    switch (support) {
        case HardwareSupport::supported: return "supported";
        case HardwareSupport::unsupported: return "unsupported";
        case HardwareSupport::unknown: return "unknown";
    }
    return "unknown";
}

std::string readModelIdentifier(const SystemControl& control) {
    const std::string name = "hw.model";
    const auto size = control.valueSize(name);
    if (!size) {
        return {};
    }
    std::vector<unsigned char> buffer(*size < 2 ? 1 : *size, 0);
    if (!control.readValue(name, buffer)) {
        return {};
    }
    const auto end = std::find(buffer.begin(), buffer.end(), 0);
    const std::string_view bytes(reinterpret_cast<const char*>(buffer.data()),
                                 static_cast<std::size_t>(end - buffer.begin()));
    return decodingUtf8Lossily(bytes);
}

HardwareSupport classifyModel(std::string_view modelIdentifier) {
    if (modelsWithLight().contains(modelIdentifier)) {
        return HardwareSupport::supported;
    }
    if (modelsWithoutLight().contains(modelIdentifier)) {
        return HardwareSupport::unsupported;
    }
    const bool older = std::any_of(kUnsupportedPrefixes.begin(), kUnsupportedPrefixes.end(),
                                   [&](std::string_view prefix) { return modelIdentifier.starts_with(prefix); });
    return older ? HardwareSupport::unsupported : HardwareSupport::unknown;
}

}  // namespace lidora
