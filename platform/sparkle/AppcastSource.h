#pragma once

#include <functional>
#include <string>

#include "core/runtime/Cancellable.h"
#include "core/runtime/Expected.h"

namespace lidora::vmac {

// Where the updater gets its feed: the text as it is now, and word when it
// may have changed.
class AppcastSource {
public:
    virtual ~AppcastSource() = default;

    // The feed's text, or why it cannot be had.
    [[nodiscard]] virtual Expected<std::string, std::string> fetch() = 0;
    // Called on the run loop after the feed may have changed.
    [[nodiscard]] virtual Cancellable watchChanges(std::function<void()> changed) = 0;
    // The feed's address, for messages.
    [[nodiscard]] virtual std::string address() const = 0;
};

}  // namespace lidora::vmac
