#include "core/helper/ListenerDelegate.h"

namespace lidora {

std::string codeSigningRequirement(const std::string& teamID) {
    return R"((identifier "com.zelquin.lidora" or identifier "com.zelquin.lidora.control") and anchor apple generic and certificate leaf[subject.OU] = ")" +
           teamID + "\"";
}

std::optional<std::string> teamIdentifier(const PreferenceDictionary& info) {
    const auto found = info.find("LSTeamID");
    if (found == info.end() || found->second.asString() == nullptr || found->second.asString()->empty()) {
        return std::nullopt;
    }
    return *found->second.asString();
}

ListenerDelegate::ListenerDelegate(std::string teamID, std::shared_ptr<HelperService> service,
                                   std::shared_ptr<ConnectionTracker> tracker, Logger log)
    : teamID_(std::move(teamID)), service_(std::move(service)), tracker_(std::move(tracker)), log_(std::move(log)) {}

bool ListenerDelegate::shouldAcceptNewConnection(XpcListener& /*listener*/,
                                                 const std::shared_ptr<XpcConnection>& connection) {
    connection->setCodeSigningRequirement(codeSigningRequirement(teamID_));
    connection->setExportedInterface(XpcInterface::of<LogoHelperProtocol>());
    connection->setExportedObject(service_);
    tracker_->connectionOpened();
    connection->setInvalidationHandler([weak = std::weak_ptr<ConnectionTracker>(tracker_)] {
        if (auto tracker = weak.lock()) {
            tracker->connectionClosed();
        }
    });
    connection->resume();
    log_.notice("Accepted connection from pid %d", connection->processIdentifier());
    return true;
}

}  // namespace lidora
