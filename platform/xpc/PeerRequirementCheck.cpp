#include "platform/xpc/PeerRequirementCheck.h"

#include <map>
#include <memory>

#include "platform/codesign/CodeRequirement.h"
#include "platform/codesign/SignatureStore.h"

namespace lidora::vmac {

PeerRequirementCheck makePeerRequirementCheck(const VmacPaths& paths, Logger log) {
    auto store = std::make_shared<SignatureStore>(SignatureStore::forRoot(paths));
    auto parsed = std::make_shared<std::map<std::string, std::optional<CodeRequirement>>>();
    return [store, parsed, log = std::move(log)](pid_t pid, const std::string& text) {
        auto found = parsed->find(text);
        if (found == parsed->end()) {
            auto requirement = CodeRequirement::parse(text);
            if (!requirement) {
                log.error("Code-signing requirement does not parse: %{public}s", requirement.error());
            }
            found = parsed->emplace(text, requirement ? std::optional(*requirement) : std::nullopt).first;
        }
        const auto signature = store->verifyProcess(pid);
        const bool admitted = found->second && signature && found->second->isSatisfiedBy(signature->signature);
        if (!admitted) {
            log.error("Peer pid %d fails the code-signing requirement: %{public}s", pid,
                      signature ? std::string("signed by another identity") : signature.error());
        }
        return admitted;
    };
}

}  // namespace lidora::vmac
