#pragma once

#include <optional>
#include <string>
#include <variant>

#include "core/helper/LightState.h"
#include "core/light/HardwareSupport.h"
#include "core/light/HelperRegistering.h"
#include "core/light/Phase.h"

namespace lidora {

inline constexpr std::string_view kLogoLightTitle = "Apple Logo Light";
inline constexpr std::string_view kKeepDarkNote =
    "On Air is switching the light: it stays off except while you're on air. Change this in Settings.";
inline constexpr std::string_view kMayBeUnsupportedText = "This Mac may not have an illuminated logo.";
inline constexpr std::string_view kApprovalText =
    "Lidora needs a one-time approval to change this setting. Turn on Lidora in System Settings › General › "
    "Login Items & Extensions.";

// Everything the panel shows, derived from the controller and preferences.
struct PanelInputs {
    Phase phase;
    bool busy = false;
    HardwareSupport hardware = HardwareSupport::unknown;
    HelperStatus serviceStatus = HelperStatus::notRegistered;
    bool hasInstallProblem = false;
    // On Air keeps the logo dark except while on air (keepsLogoDark()).
    bool keepsLogoDark = false;
    bool brightnessAvailable = false;
    bool updatePending = false;
};

struct PanelState {
    struct NoStatus {
        friend bool operator==(const NoStatus&, const NoStatus&) = default;
    };
    struct Unsupported {
        friend bool operator==(const Unsupported&, const Unsupported&) = default;
    };
    struct Failed {
        std::string message;
        bool offerReinstall = false;
        friend bool operator==(const Failed&, const Failed&) = default;
    };
    struct NeedsApproval {
        // "Open System Settings" registers first when nothing is registered.
        bool registerFirst = false;
        friend bool operator==(const NeedsApproval&, const NeedsApproval&) = default;
    };
    struct Loading {
        friend bool operator==(const Loading&, const Loading&) = default;
    };
    using Status = std::variant<NoStatus, Unsupported, Failed, NeedsApproval, Loading>;

    bool switchOn = false;
    bool switchEnabled = false;
    bool showKeepDarkNote = false;
    bool showBrightnessCard = false;
    Status status;
    bool showMayBeUnsupported = false;
    bool showSendMessage = false;
    bool showUpdateAvailable = false;

    friend bool operator==(const PanelState&, const PanelState&) = default;
};

// Whether the switch may be used at all (before the keep-dark rule).
bool canToggle(const PanelInputs& inputs);

PanelState panelState(const PanelInputs& inputs);

// The slider: a drag at `x` of `width`, and the arrow keys' steps.
double sliderValueAt(double x, double width);
double steppedSliderValue(double value, int steps);

}  // namespace lidora
