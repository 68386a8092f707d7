#pragma once

#include <string>
#include <vector>

namespace lidora {

// NSAlert's answers: the first button gives 1000, the second 1001 and so on.
inline constexpr int kAlertFirstButtonReturn = 1000;

// What an NSAlert shows.
struct ModalAlert {
    std::string messageText;
    std::string informativeText;
    // In order; the first is the default. None means one "OK" button.
    std::vector<std::string> buttons;
    friend bool operator==(const ModalAlert&, const ModalAlert&) = default;
};

// NSAlert's runModal: shows the alert application-modal and returns the
// button pressed once it is closed.
class AlertRunner {
public:
    virtual ~AlertRunner() = default;
    virtual int runModal(const ModalAlert& alert) = 0;
};

}  // namespace lidora
