#include "platform/xpc/PeerRequirementCheck.h"

#include <map>
#include <memory>

#include "core/runtime/LogThrottle.h"
#include "platform/codesign/CodeRequirement.h"
#include "platform/codesign/PeerImage.h"

namespace lidora::vmac {

PeerRequirementCheck makePeerRequirementCheck(const VmacPaths& paths, Logger log) {
    auto image = std::make_shared<PeerImage>(std::make_shared<const SignatureStore>(SignatureStore::forRoot(paths)));
    auto parsed = std::make_shared<std::map<std::string, std::optional<CodeRequirement>>>();
    // Foreign peers can be refused at will; their lines must not flood the log.
    auto refusals = std::make_shared<LogThrottle>(kRefusalLinesPerWindow, kRefusalWindow);
    return [image, parsed, refusals, log = std::move(log)](int socket, const ucred& peer, const std::string& text) {
        auto found = parsed->find(text);
        if (found == parsed->end()) {
            auto requirement = CodeRequirement::parse(text);
            if (!requirement) {
                log.error("Code-signing requirement does not parse: %{public}s", requirement.error());
            }
            found = parsed->emplace(text, requirement ? std::optional(*requirement) : std::nullopt).first;
        }
        const auto signature = image->verify(socket, peer);
        const bool admitted = found->second && signature && found->second->isSatisfiedBy(signature->signature);
        if (!admitted) {
            logThrottled(*refusals, log, [&] {
                log.error("Peer pid %d fails the code-signing requirement: %{public}s", peer.pid,
                          signature ? std::string("signed by another identity") : signature.error());
            });
        }
        return admitted;
    };
}

}  // namespace lidora::vmac
