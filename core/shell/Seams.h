#pragma once

#include <optional>
#include <string>

namespace lidora {

// SEAM: the logo effects watcher (breathing, On Air, messages) comes with
// its own work. Until then the app runs with NoLogoEffects.
class LogoEffects {
public:
    virtual ~LogoEffects() = default;
    virtual void start() = 0;
    // Re-evaluates which effect runs from preferences and the light.
    virtual void update() = 0;
    // At termination: every player stopped, no effect.
    virtual void stopAll() = 0;
    // Sends a Morse message; the problem text on failure.
    virtual std::optional<std::string> send(const std::string& text) = 0;
};

class NoLogoEffects final : public LogoEffects {
public:
    void start() override {}
    void update() override {}
    void stopAll() override {}
    std::optional<std::string> send(const std::string& /*text*/) override {
        return std::string("Couldn't send the message.");
    }
};

// SEAM: the classic six-colour logo overlay and its full-screen watcher
// come with their own work. Until then nothing is drawn.
class ClassicLogo {
public:
    enum class ShowMode { withLight, always };

    virtual ~ClassicLogo() = default;
    // Shows or hides the overlay and starts or stops the full-screen watcher.
    virtual void setShown(bool shown) = 0;
    // Whether the overlay has a style (is on screen).
    [[nodiscard]] virtual bool isVisible() const = 0;
};

class NoClassicLogo final : public ClassicLogo {
public:
    void setShown(bool shown) override { shown_ = shown; }
    [[nodiscard]] bool isVisible() const override { return shown_; }

private:
    bool shown_ = false;
};

}  // namespace lidora
