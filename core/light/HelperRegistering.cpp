#include "core/light/HelperRegistering.h"

namespace lidora {

std::string_view helperStatusName(HelperStatus status) {
    switch (status) {
        case HelperStatus::enabled: return "enabled";
        case HelperStatus::requiresApproval: return "requiresApproval";
        case HelperStatus::notRegistered: return "notRegistered";
        case HelperStatus::notFound: return "notFound";
    }
    return "notFound";
}

HelperStatus helperStatusFromRaw(int raw) {
    switch (raw) {
        case DaemonService::notRegistered: return HelperStatus::notRegistered;
        case DaemonService::enabled: return HelperStatus::enabled;
        case DaemonService::requiresApproval: return HelperStatus::requiresApproval;
        default: return HelperStatus::notFound;
    }
}

}  // namespace lidora
