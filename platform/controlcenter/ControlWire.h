#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/ports/ControlWidget.h"
#include "core/runtime/Expected.h"

namespace lidora::vmac {

// What Control Center asks an extension process, one request a process, as
// one JSON line on its standard input; the answer comes back the same way
// on its standard output.
struct ControlRequest {
    enum class Kind { describe, preview, value, perform };
    Kind request = Kind::describe;
    std::string kind;           // the control's kind; none for describe
    std::optional<bool> value;  // perform on a toggle: the value set
    friend bool operator==(const ControlRequest&, const ControlRequest&) = default;
};

struct ControlDescription {
    std::string kind;
    std::string displayName;
    std::string description;
    ControlTemplate::Style style = ControlTemplate::Style::button;
    friend bool operator==(const ControlDescription&, const ControlDescription&) = default;
};

// One of: the controls (describe), what a control shows (preview, value),
// that the action was done (perform), or the failure's text.
struct ControlReply {
    std::vector<ControlDescription> controls;
    std::optional<ControlTemplate> shown;
    bool performed = false;
    std::optional<std::string> failure;
    friend bool operator==(const ControlReply&, const ControlReply&) = default;
};

std::string encodeControlRequest(const ControlRequest& request);
Expected<ControlRequest, std::string> decodeControlRequest(std::string_view text);
std::string encodeControlReply(const ControlReply& reply);
Expected<ControlReply, std::string> decodeControlReply(std::string_view text);

}  // namespace lidora::vmac
