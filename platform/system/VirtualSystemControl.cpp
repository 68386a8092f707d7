#include "platform/system/VirtualSystemControl.h"

#include <algorithm>

#include "platform/system/HardwareModel.h"

namespace lidora::vmac {

std::optional<std::string> VirtualSystemControl::value(const std::string& name) const {
    if (name != "hw.model") {
        return std::nullopt;
    }
    auto model = readHardwareModel(paths_);
    if (!model) {
        return std::nullopt;
    }
    return std::move(model).value();
}

std::optional<std::size_t> VirtualSystemControl::valueSize(const std::string& name) const {
    const auto text = value(name);
    if (!text) {
        return std::nullopt;
    }
    return text->size() + 1;
}

bool VirtualSystemControl::readValue(const std::string& name, std::span<unsigned char> buffer) const {
    const auto text = value(name);
    if (!text) {
        return false;
    }
    // Like sysctl, a short buffer gets what fits, possibly without the NUL.
    const std::size_t count = std::min(buffer.size(), text->size() + 1);
    std::copy_n(reinterpret_cast<const unsigned char*>(text->c_str()), count, buffer.begin());
    return true;
}

}  // namespace lidora::vmac
