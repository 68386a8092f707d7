#pragma once

#include <memory>
#include <optional>
#include <string>

#include "core/helper/ConnectionTracker.h"
#include "core/helper/HelperService.h"
#include "core/ports/XpcConnection.h"
#include "core/prefs/PreferenceValue.h"
#include "core/runtime/Logger.h"

namespace lidora {

// Admits exactly the app and the Control Center extension signed for `teamID`.
std::string codeSigningRequirement(const std::string& teamID);

// LSTeamID from the daemon's information property list; empty when missing,
// not a string, or empty.
std::optional<std::string> teamIdentifier(const PreferenceDictionary& info);

// Configures and accepts every new connection; the framework enforces the
// code-signing requirement afterwards.
class ListenerDelegate final : public XpcListenerDelegate {
public:
    ListenerDelegate(std::string teamID, std::shared_ptr<HelperService> service,
                     std::shared_ptr<ConnectionTracker> tracker, Logger log);

    bool shouldAcceptNewConnection(XpcListener& listener, const std::shared_ptr<XpcConnection>& connection) override;

private:
    const std::string teamID_;
    const std::shared_ptr<HelperService> service_;
    const std::shared_ptr<ConnectionTracker> tracker_;
    const Logger log_;
};

}  // namespace lidora
