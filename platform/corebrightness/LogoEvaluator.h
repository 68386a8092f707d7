#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "core/ports/RunLoop.h"
#include "core/runtime/Logger.h"
#include "platform/corebrightness/LogoState.h"
#include "platform/prefs/PreferenceStore.h"
#include "platform/vmac/FileChangeWatch.h"
#include "platform/vmac/VmacPaths.h"

namespace lidora::vmac {

// Works out the logo's luminance from the light setting, the two tables
// and the built-in display's brightness, and publishes it. Like the real
// service it looks again only when the display brightness or the light
// setting changes (or at the next start), so a new table shows after a nudge.
class LogoEvaluator {
public:
    using Clock = std::function<std::int64_t()>;  // Unix time in ms

    LogoEvaluator(VmacPaths paths, PreferenceDomain domain, Logger log, Clock clock);

    // Evaluates once, then on every change of the display brightness or of
    // the light setting.
    Expected<void, std::string> start(RunLoop& loop);

    LogoState evaluate(const std::string& reason);

private:
    void displaysChanged();
    void settingsChanged();

    VmacPaths paths_;
    PreferenceDomain domain_;
    Logger log_;
    Clock clock_;
    std::optional<double> evaluatedBrightness_;  // of the built-in display; empty when there was none
    bool evaluatedLit_ = true;
    std::unique_ptr<FileChangeWatch> watch_;
    std::unique_ptr<FileChangeWatch> settingsWatch_;
};

}  // namespace lidora::vmac
