#pragma once

#include <optional>
#include <string>

namespace lidora {

// NSPasteboard.generalPasteboard, for plain text: shared by every process
// of the user's session.
class Pasteboard {
public:
    virtual ~Pasteboard() = default;

    // Empties the pasteboard, as the first step of putting something on it.
    virtual void clearContents() = 0;
    // Puts `text` on it as plain text; false when the pasteboard refused.
    virtual bool setString(const std::string& text) = 0;
    // The plain text on it, if any.
    [[nodiscard]] virtual std::optional<std::string> string() const = 0;
};

}  // namespace lidora
