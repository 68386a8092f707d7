#include "platform/xpc/PeerRequirementCheck.h"

#include <map>
#include <memory>

#include "platform/codesign/CodeRequirement.h"
#include "platform/codesign/PeerImage.h"

namespace lidora::vmac {

PeerRequirementCheck makePeerRequirementCheck(const VmacPaths& paths, Logger log) {
    auto store = std::make_shared<const SignatureStore>(SignatureStore::forRoot(paths));
    auto image = std::make_shared<PeerImage>(store);
    // Parsed once each; used from the main loop only.
    auto parsed = std::make_shared<std::map<std::string, std::optional<CodeRequirement>>>();
    auto requirementOf = [parsed, log](const std::string& text) -> const std::optional<CodeRequirement>& {
        auto found = parsed->find(text);
        if (found == parsed->end()) {
            auto requirement = CodeRequirement::parse(text);
            if (!requirement) {
                log.error("Code-signing requirement does not parse: %{public}s", requirement.error());
            }
            found = parsed->emplace(text, requirement ? std::optional(*requirement) : std::nullopt).first;
        }
        return found->second;
    };
    auto judge = [requirementOf, log](const ucred& peer, const std::string& text,
                                      const Expected<SignatureRecord, std::string>& signature) {
        const auto& requirement = requirementOf(text);
        const bool admitted = requirement && signature && requirement->isSatisfiedBy(signature->signature);
        if (!admitted) {
            log.error("Peer pid %d fails the code-signing requirement: %{public}s", peer.pid,
                      signature ? std::string("signed by another identity") : signature.error());
        }
        return admitted;
    };
    return PeerRequirementCheck{[store, judge](const ucred& peer, const std::string& text) {
                                    return judge(peer, text, store->verifyProcess(peer.pid));
                                },
                                [image, judge](int socket, const ucred& peer, const std::string& text) {
                                    return judge(peer, text, image->verify(socket, peer));
                                }};
}

}  // namespace lidora::vmac
