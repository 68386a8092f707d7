#pragma once

#include <memory>
#include <vector>

#include "core/control/ControlParts.h"
#include "core/ports/ControlWidget.h"

namespace lidora::control {

// The extension's widget bundle: the light switch, then the brightness button.
class LidoraControlBundle {
public:
    explicit LidoraControlBundle(ControlParts& parts);

    [[nodiscard]] const std::vector<std::unique_ptr<ControlWidget>>& body() const { return body_; }

private:
    std::vector<std::unique_ptr<ControlWidget>> body_;
};

}  // namespace lidora::control
