#pragma once

#include <optional>
#include <string>

namespace lidora {

// NSWorkspace's recycle operation: moves a file or folder to the Trash.
class FileRecycler {
public:
    virtual ~FileRecycler() = default;

    // Nothing on success, else the error's localized description.
    [[nodiscard]] virtual std::optional<std::string> recycle(const std::string& path) = 0;
};

}  // namespace lidora
