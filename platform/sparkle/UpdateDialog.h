#pragma once

#include <functional>
#include <string>

#include "core/ports/SparkleUpdater.h"

namespace lidora::vmac {

enum class UpdateChoice { install, remindLater, skip };

// Sparkle's standard windows. Each show replaces what was shown before; the
// callback runs once, on the run loop, when the user answers or closes the
// window.
class UpdateDialog {
public:
    virtual ~UpdateDialog() = default;

    virtual void showUpdateFound(const AppcastItem& update, const std::string& currentVersion,
                                 std::function<void(UpdateChoice)> answered) = 0;
    virtual void showUpToDate(const std::string& currentVersion, std::function<void()> dismissed) = 0;
    virtual void showError(const std::string& message, std::function<void()> dismissed) = 0;
    // After "Install Update": what happened instead of a real installation.
    virtual void showInstalled(const AppcastItem& update, std::function<void()> dismissed) = 0;
};

}  // namespace lidora::vmac
