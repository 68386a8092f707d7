#pragma once

#include <memory>
#include <optional>

#include "core/brightness/LogoBrightnessBackend.h"
#include "core/ports/BrightnessSystemClient.h"
#include "core/ports/DisplayList.h"
#include "core/ports/DisplayServices.h"
#include "core/ports/RunLoop.h"
#include "core/runtime/Cancellable.h"

namespace lidora {

// What the platform's loader found. It opens CoreBrightness and
// DisplayServices by path (dlopen, RTLD_NOW, kept loaded), creates the
// BrightnessSystemClient and resolves DisplayServicesGetBrightness and
// DisplayServicesSetBrightness; each member stays empty when its framework,
// class or symbol is missing, and nothing about that is reported here.
struct CoreBrightnessFrameworks {
    std::shared_ptr<BrightnessSystemClient> client;
    std::shared_ptr<DisplayBrightnessGetter> getBrightness;
    std::shared_ptr<DisplayBrightnessSetter> setBrightness;
};

inline constexpr float kNudgeStep = 0.004F;
inline constexpr Duration kNudgeRestoreDelay = std::chrono::milliseconds(150);

// The logo tables through CoreBrightness and the built-in display through
// DisplayServices. Use on the run loop's thread.
class CoreBrightnessBackend final : public LogoBrightnessBackend {
public:
    CoreBrightnessBackend(CoreBrightnessFrameworks frameworks, std::shared_ptr<const DisplayList> displays,
                          RunLoop& loop);
    ~CoreBrightnessBackend() override;
    CoreBrightnessBackend(const CoreBrightnessBackend&) = delete;
    CoreBrightnessBackend& operator=(const CoreBrightnessBackend&) = delete;

    [[nodiscard]] std::optional<BrightnessTable> copyProperty(std::string_view key) override;
    bool setProperty(const BrightnessTable& table, std::string_view key) override;
    [[nodiscard]] std::optional<float> displayBrightness() override;
    void setDisplayBrightness(float brightness) override;
    void nudge() override;

    [[nodiscard]] bool isRestorePending() const { return pending_->brightnessBeforeNudge.has_value(); }

private:
    // Held apart so that a scheduled restore can see whether the backend
    // is still there without keeping it alive.
    struct PendingNudge {
        std::optional<float> brightnessBeforeNudge;
        Cancellable restoreWork;
    };

    CoreBrightnessFrameworks frameworks_;
    std::shared_ptr<const DisplayList> displays_;
    RunLoop& loop_;
    std::shared_ptr<PendingNudge> pending_ = std::make_shared<PendingNudge>();
};

}  // namespace lidora
