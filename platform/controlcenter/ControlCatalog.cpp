#include "platform/controlcenter/ControlCatalog.h"

namespace lidora::vmac {

Expected<std::vector<OfferedControl>, std::string> offeredControls(const ControlExtensionHost& host,
                                                                   const VmacPaths& paths) {
    std::vector<OfferedControl> controls;
    for (const auto& extension : installedControlExtensions(paths)) {
        const auto described = host.request(extension, ControlRequest{});
        if (!described) {
            return unexpected(described.error());
        }
        if (described->failure) {
            return unexpected(extension.identifier + ": " + *described->failure);
        }
        for (const auto& description : described->controls) {
            controls.push_back({extension, description});
        }
    }
    return controls;
}

Expected<ControlTemplate, std::string> shownTemplate(const ControlExtensionHost& host,
                                                     const ControlExtension& extension, const std::string& kind,
                                                     ControlRequest::Kind request) {
    auto reply = host.request(extension, ControlRequest{request, kind, std::nullopt});
    if (!reply) {
        return unexpected(reply.error());
    }
    if (reply->failure || !reply->shown) {
        return unexpected(reply->failure.value_or("no value"));
    }
    return *reply->shown;
}

}  // namespace lidora::vmac
