#pragma once

#include <optional>
#include <string>

#include "core/morse/MorseCode.h"
#include "core/runtime/Task.h"

namespace lidora {

// The running app's delegate as the Morse action reaches it.
class ShortcutsDelegate {
public:
    virtual ~ShortcutsDelegate() = default;
    // The problem text, or none once sending has begun.
    virtual Task<std::optional<std::string>> sendMessage(std::string text, MorseCode::Timing timing, bool markers) = 0;
};

}  // namespace lidora
