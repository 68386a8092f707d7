#pragma once

#include <QMessageBox>
#include <memory>

#include "core/ports/ModalAlert.h"

namespace lidora::app {

// The alert as a Qt message box with the app's icon: its buttons in order,
// the first the default, Escape the last when there are several.
std::unique_ptr<QMessageBox> makeAlertBox(const ModalAlert& alert);

// NSAlert's runModal as a modal message box. The run loop goes on while it
// is shown, so UI scripting can read and press it.
class QtAlertRunner final : public AlertRunner {
public:
    int runModal(const ModalAlert& alert) override;
};

}  // namespace lidora::app
