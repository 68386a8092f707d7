#pragma once

#include <string>

#include "core/light/HelperRegistering.h"
#include "core/runtime/Expected.h"

namespace lidora {

// SMAppService.mainApp: the application itself as a login item.
class MainAppLoginItem {
public:
    virtual ~MainAppLoginItem() = default;

    [[nodiscard]] virtual HelperStatus status() const = 0;
    // The error's text is the system's description.
    virtual Expected<void, std::string> registerItem() = 0;
    virtual Expected<void, std::string> unregisterItem() = 0;
};

}  // namespace lidora
