#pragma once

#include <optional>
#include <string>

namespace lidora {

// What the standard About panel is given.
struct AboutPanelOptions {
    std::string credits;  // centred lines, small system font, label colour
    // Bundle image to show; the front end falls back to the app's icon,
    // then to none, when it does not exist.
    std::string iconName;
    friend bool operator==(const AboutPanelOptions&, const AboutPanelOptions&) = default;
};

// NSApplication as the delegate uses it.
class ApplicationShell {
public:
    virtual ~ApplicationShell() = default;

    virtual void activate() = 0;
    virtual void terminate() = 0;
    // Activates and orders the standard About panel front.
    virtual void showAboutPanel(const AboutPanelOptions& options) = 0;
    // Whether the app is frontmost with a key window.
    [[nodiscard]] virtual bool isActive() const = 0;
};

// The windows the delegate opens; each is built once and reused.
class WindowHolder {
public:
    virtual ~WindowHolder() = default;
    virtual void show() = 0;
};

}  // namespace lidora
