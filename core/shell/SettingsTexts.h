#pragma once

#include <string_view>

// The settings window's own words, shared by its logic and its widgets.
namespace lidora::SettingsTexts {

inline constexpr std::string_view kWindowTitle = "Lidora Settings";

inline constexpr std::string_view kUnsupported = "This Mac doesn't have an illuminated logo.";
inline constexpr std::string_view kNeedsApproval =
    "Lidora needs a one-time approval to change the logo light. Turn on Lidora in System Settings › General › "
    "Login Items & Extensions.";
inline constexpr std::string_view kStatus = "Status";
inline constexpr std::string_view kOpenSystemSettings = "Open System Settings";
inline constexpr std::string_view kReinstallHelper = "Reinstall Helper";

inline constexpr std::string_view kLaunchAtLogin = "Launch at Login";
inline constexpr std::string_view kShowInMenuBar = "Show in menu bar";
inline constexpr std::string_view kMenuBarIcon = "Menu bar icon";
inline constexpr std::string_view kColor = "Color";
inline constexpr std::string_view kBlackAndWhite = "Black & White";
inline constexpr std::string_view kReopenHint =
    "To get back to these settings, open Lidora again from your Applications folder.";

inline constexpr std::string_view kUpdates = "Updates";
inline constexpr std::string_view kAutomaticChecks = "Check for updates automatically";
inline constexpr std::string_view kVersionPrefix = "Version ";
inline constexpr std::string_view kCheckForUpdates = "Check for Updates…";

inline constexpr std::string_view kTroubleshooting = "Troubleshooting";
inline constexpr std::string_view kDiagnosticsHint = "Details about Lidora and this Mac, for a bug report.";
inline constexpr std::string_view kDiagnosticsCopied = "Copied. Paste it into an email or a bug report.";
inline constexpr std::string_view kCopyDiagnostics = "Copy Diagnostics";
inline constexpr std::string_view kLogoBrightnessLine = "\nLogo brightness: ";
inline constexpr std::string_view kBrightnessUnavailable = "unavailable";

inline constexpr std::string_view kControlCenter = "Control Center";
inline constexpr std::string_view kControlCenterIntro =
    "You can add the Apple Logo Light and Logo Brightness controls to Control Center:";
inline constexpr std::string_view kControlCenterSteps[] = {
    "1. Click Control Center in the menu bar.",
    "2. Click Edit Controls at the bottom.",
    "3. Find Lidora and drag the controls into Control Center.",
};
inline constexpr std::string_view kControlCenterNote =
    "The Apple Logo Light switch works even when Lidora isn't running.";

inline constexpr std::string_view kUninstall = "Uninstall Lidora…";
inline constexpr std::string_view kQuit = "Quit Lidora";

inline constexpr std::string_view kOnAirLight = "On Air light";
inline constexpr std::string_view kTurnOnFor = "Turn on for";
inline constexpr std::string_view kCameraOrMicrophone = "Camera or microphone";
inline constexpr std::string_view kCameraOnly = "Camera only";
inline constexpr std::string_view kOnAirCameraText =
    "While an app uses the camera, the logo flashes ON AIR in Morse code, so people behind you can see you're on "
    "a call.";
inline constexpr std::string_view kOnAirCameraOrMicrophoneText =
    "While an app uses the camera or a microphone, the logo flashes ON AIR in Morse code, so people behind you can "
    "see you're on a call.";
inline constexpr std::string_view kKeepDark = "Keep the logo dark except when on air";
inline constexpr std::string_view kKeepDarkText =
    "Like a studio sign: the logo light stays off, and turns on only while you're on air. Lidora switches the "
    "light for you while this is on.";

inline constexpr std::string_view kBreathe = "Breathe while locked and charging";
inline constexpr std::string_view kBreatheText =
    "While the screen is locked and the Mac is plugged in, the logo slowly brightens and dims, like a sleeping "
    "Mac's indicator light.";

inline constexpr std::string_view kSpeed = "Speed";
inline constexpr std::string_view kSlow = "Slow (easier to read)";
inline constexpr std::string_view kNormal = "Normal";
inline constexpr std::string_view kPro = "Pro (faster)";
inline constexpr std::string_view kMarkers = "Start and end markers";
inline constexpr std::string_view kMarkersText =
    "Sends −·−·− before a message and ·−·−· after it, so whoever reads it knows where it starts and ends.";
inline constexpr std::string_view kSendAMessage = "Send a Message";
inline constexpr std::string_view kMessageShortcut = "⇧⌘0";
inline constexpr std::string_view kMessageHintBefore = "Press ";
inline constexpr std::string_view kMessageHintAfter =
    " anywhere to type a message for the logo to send in Morse code. The speed and markers here are used by the "
    "Send a Message window and by the Send a Morse Message action in Shortcuts.";
inline constexpr std::string_view kSendAMessageButton = "Send a Message…";

inline constexpr std::string_view kClassicLogo = "Classic logo";
inline constexpr std::string_view kShow = "Show";
inline constexpr std::string_view kAlways = "Always";
inline constexpr std::string_view kWithLogoLight = "With logo light";
inline constexpr std::string_view kClassicAlwaysText =
    "Shows the six-color logo in the menu bar, whether the logo light is on or off. Shortcut: ⇧⌘7";
inline constexpr std::string_view kClassicWithLightText =
    "Shows the six-color logo in the menu bar while the logo light is on. Shortcut: ⇧⌘7";

inline constexpr std::string_view kUninstallQuestion = "Uninstall Lidora?";
inline constexpr std::string_view kUninstallExplanation =
    "This turns the Apple logo light back on at its normal brightness, removes Lidora's helper, and moves Lidora "
    "to the Trash.";
inline constexpr std::string_view kUninstallButton = "Uninstall";
inline constexpr std::string_view kCancelButton = "Cancel";
inline constexpr std::string_view kLightNotBackOn = "Couldn't turn the light back on";
inline constexpr std::string_view kLightNotBackOnExplanation =
    "Lidora will still be removed. To restore the light, run this in Terminal:\n\n"
    "sudo defaults delete com.apple.CoreBrightness LEBacklightMode";

}  // namespace lidora::SettingsTexts
