#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "core/overlay/LogoStyle.h"
#include "core/ports/Geometry.h"

namespace lidora {

// NSWindowCollectionBehavior.
namespace CollectionBehavior {
inline constexpr std::uint64_t canJoinAllSpaces = 1U << 0U;
inline constexpr std::uint64_t stationary = 1U << 4U;
inline constexpr std::uint64_t ignoresCycle = 1U << 6U;
inline constexpr std::uint64_t fullScreenAuxiliary = 1U << 8U;
}  // namespace CollectionBehavior

// What an NSPanel is made with: a borderless, non-activating, clear,
// shadowless panel.
struct PanelSettings {
    Rect contentRect;  // global, bottom-left origin
    std::int32_t level = 0;
    std::uint64_t collectionBehavior = 0;
    bool ignoresMouseEvents = true;
    // The content view; none leaves the panel empty.
    std::optional<LogoContent> content;
};

// One NSPanel, made ordered out at alpha 1.
class Panel {
public:
    virtual ~Panel() = default;

    virtual void orderFrontRegardless() = 0;
    virtual void orderOut() = 0;
    [[nodiscard]] virtual bool isVisible() const = 0;
    [[nodiscard]] virtual double alphaValue() const = 0;
    virtual void setAlphaValue(double alpha) = 0;
    [[nodiscard]] virtual Rect frame() const = 0;
    virtual void setFrameOrigin(Point origin) = 0;
    // A panel that cannot join all spaces lives on the space that was
    // active when it was ordered in.
    [[nodiscard]] virtual bool isOnActiveSpace() const = 0;
};

class PanelMaker {
public:
    virtual ~PanelMaker() = default;
    [[nodiscard]] virtual std::unique_ptr<Panel> makePanel(const PanelSettings& settings) = 0;
};

}  // namespace lidora
