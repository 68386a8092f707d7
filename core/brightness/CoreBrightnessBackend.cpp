#include "core/brightness/CoreBrightnessBackend.h"

#include <algorithm>

namespace lidora {

CoreBrightnessBackend::CoreBrightnessBackend(CoreBrightnessFrameworks frameworks,
                                             std::shared_ptr<const DisplayList> displays, RunLoop& loop)
    : frameworks_(std::move(frameworks)), displays_(std::move(displays)), loop_(loop) {}

CoreBrightnessBackend::~CoreBrightnessBackend() {
    // A nudged display must go back even though the backend goes: now, as
    // the backend goes when the app quits, and a loop that no longer runs
    // would never fire the restore, leaving the display a step off.
    if (pending_->brightnessBeforeNudge && frameworks_.setBrightness) {
        pending_->restoreWork.cancel();
        if (const auto display = builtInDisplayID(*displays_)) {
            (*frameworks_.setBrightness)(*display, *pending_->brightnessBeforeNudge);
        }
    }
}

std::optional<BrightnessTable> CoreBrightnessBackend::copyProperty(std::string_view key) {
    const auto& client = frameworks_.client;
    if (!client || !client->respondsToSelector(kCopyPropertySelector)) {
        return std::nullopt;
    }
    return curve(client->copyPropertyForKey(key));
}

bool CoreBrightnessBackend::setProperty(const BrightnessTable& table, std::string_view key) {
    const auto& client = frameworks_.client;
    if (!client || !client->respondsToSelector(kSetPropertySelector)) {
        return false;
    }
    return client->setPropertyForKey(preferenceValue(table), key);
}

std::optional<float> CoreBrightnessBackend::displayBrightness() {
    if (!frameworks_.getBrightness) {
        return std::nullopt;
    }
    const auto display = builtInDisplayID(*displays_);
    if (!display) {
        return std::nullopt;
    }
    float value = 0.0F;
    if ((*frameworks_.getBrightness)(*display, &value) != 0) {
        return std::nullopt;
    }
    return value;
}

void CoreBrightnessBackend::setDisplayBrightness(float brightness) {
    if (!frameworks_.setBrightness) {
        return;
    }
    const auto display = builtInDisplayID(*displays_);
    if (!display) {
        return;
    }
    // Written so that NaN ends at 0 rather than reaching the display.
    const float clamped = brightness > 0.0F ? std::min(brightness, 1.0F) : 0.0F;
    (*frameworks_.setBrightness)(*display, clamped);
}

void CoreBrightnessBackend::nudge() {
    if (!frameworks_.getBrightness || !frameworks_.setBrightness) {
        return;
    }
    const auto display = builtInDisplayID(*displays_);
    if (!display) {
        return;
    }
    // Within a burst, keep the value from before the first nudge: the
    // display now shows a nudged one.
    float base = 0.0F;
    if (pending_->brightnessBeforeNudge) {
        base = *pending_->brightnessBeforeNudge;
    } else {
        if ((*frameworks_.getBrightness)(*display, &base) != 0) {
            return;
        }
        pending_->brightnessBeforeNudge = base;
    }
    // Towards the middle, so the step never hits an end of the range.
    (*frameworks_.setBrightness)(*display, base <= 0.5F ? base + kNudgeStep : base - kNudgeStep);

    pending_->restoreWork.cancel();
    pending_->restoreWork =
        loop_.scheduleAfter(kNudgeRestoreDelay, [weakPending = std::weak_ptr<PendingNudge>(pending_),
                                                 setter = frameworks_.setBrightness, display = *display, base] {
            (*setter)(display, base);
            if (const auto pending = weakPending.lock()) {
                pending->brightnessBeforeNudge.reset();
                pending->restoreWork = Cancellable();
            }
        });
}

}  // namespace lidora
