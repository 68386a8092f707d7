#pragma once

#include <functional>
#include <string>

#include "platform/bus/VmacBus.h"

namespace lidora::vmac {

// The claim of a running application on its bundle identifier, as
// LaunchServices keeps one: while the claim holds, `vmac open` sends the
// reopen event instead of starting a second copy.
class ApplicationInstance {
public:
    // `answer` gets Owned when this process is the instance, TakenByAnother
    // when another copy runs (this one should then quit), Unavailable when
    // there is no bus yet; the claim is then made as soon as the bus appears.
    ApplicationInstance(VmacBus& bus, const std::string& bundleIdentifier, std::function<void(NameClaim)> answer)
        : claim_(bus.claimName(busNameForBundleIdentifier(bundleIdentifier), std::move(answer))) {}

private:
    Cancellable claim_;
};

}  // namespace lidora::vmac
