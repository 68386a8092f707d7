#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/runtime/Expected.h"
#include "core/runtime/Task.h"

namespace lidora {

// NSWorkspaceOpenConfiguration: whether the opened app comes to the front.
struct OpenConfiguration {
    bool activates = true;
};

// NSWorkspace's applications: where one is installed, and opening it.
class ApplicationWorkspace {
public:
    virtual ~ApplicationWorkspace() = default;

    // URLForApplicationWithBundleIdentifier: the installed bundle's path.
    [[nodiscard]] virtual std::optional<std::string> urlForApplication(std::string_view bundleIdentifier) const = 0;
    // openApplicationAtURL:configuration:completionHandler:, resumed when
    // the completion handler runs. A running app is brought up rather than
    // started again.
    virtual Task<Expected<void, std::string>> openApplication(std::string url, OpenConfiguration configuration) = 0;
};

}  // namespace lidora
