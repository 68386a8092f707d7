#pragma once

#include <string>
#include <vector>

#include "platform/controlcenter/ControlExtensionHost.h"

namespace lidora::vmac {

// A control Control Center offers, and the extension that serves it.
struct OfferedControl {
    ControlExtension extension;
    ControlDescription description;
};

// Every control of the installed widget extensions, in the order each
// extension's bundle lists them; asks each extension once.
Expected<std::vector<OfferedControl>, std::string> offeredControls(const ControlExtensionHost& host,
                                                                   const VmacPaths& paths);

// What a control shows now (value) or in the gallery (preview), from a new
// extension process; or why it shows nothing.
Expected<ControlTemplate, std::string> shownTemplate(const ControlExtensionHost& host,
                                                     const ControlExtension& extension, const std::string& kind,
                                                     ControlRequest::Kind request);

}  // namespace lidora::vmac
