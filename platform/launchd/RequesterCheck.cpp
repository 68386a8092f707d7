#include "platform/launchd/RequesterCheck.h"

#include "platform/codesign/PeerImage.h"

namespace lidora::vmac {

RequesterVerifier signedProcessVerifier(std::shared_ptr<const SignatureStore> signatures) {
    // The same proof the helper asks of its clients: the image that holds the
    // connection is the signed one, running only code its signer or the
    // administrators put there.
    auto image = std::make_shared<const PeerImage>(std::move(signatures));
    return [image](int socket, const ucred& peer) -> Expected<CodeSignature, std::string> {
        auto record = image->verify(socket, peer);
        if (!record) {
            return unexpected("pid " + std::to_string(peer.pid) + ": " + record.error());
        }
        return record->signature;
    };
}

}  // namespace lidora::vmac
