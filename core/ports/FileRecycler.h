#pragma once

#include <optional>
#include <string>

namespace lidora {

class FileRecycler {
public:
    virtual ~FileRecycler() = default;  // NSWorkspace.recycle(_:completionHandler:) for one item

    // Moves the item at `path` to the Trash: none on success, else the error's localizedDescription.
    [[nodiscard]] virtual std::optional<std::string> recycle(const std::string& path) = 0;
};

}  // namespace lidora
