#pragma once

#include <optional>
#include <string>

namespace lidora {

class Pasteboard {
public:
    virtual ~Pasteboard() = default;  // NSPasteboard.general: plain text only

    // clearContents: empties it and makes this process the owner of what is put on next.
    virtual void clearContents() = 0;
    // setString(_:forType: .string): false when the text could not be put on.
    [[nodiscard]] virtual bool setString(const std::string& text) = 0;
    // string(forType: .string): the plain text on it, none when it holds no text.
    [[nodiscard]] virtual std::optional<std::string> string() const = 0;
};

}  // namespace lidora
