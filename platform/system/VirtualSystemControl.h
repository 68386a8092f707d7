#pragma once

#include "core/ports/SystemInfo.h"
#include "platform/vmac/VmacPaths.h"

namespace lidora::vmac {

// sysctlbyname on the virtual Mac: "hw.model" from its hardware file, with
// the trailing NUL counted as sysctl does. Every other name fails.
class VirtualSystemControl final : public SystemControl {
public:
    explicit VirtualSystemControl(VmacPaths paths) : paths_(std::move(paths)) {}

    [[nodiscard]] std::optional<std::size_t> valueSize(const std::string& name) const override;
    bool readValue(const std::string& name, std::span<unsigned char> buffer) const override;

private:
    [[nodiscard]] std::optional<std::string> value(const std::string& name) const;

    VmacPaths paths_;
};

}  // namespace lidora::vmac
