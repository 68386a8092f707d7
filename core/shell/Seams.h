#pragma once

#include <optional>
#include <string>

namespace lidora {

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
