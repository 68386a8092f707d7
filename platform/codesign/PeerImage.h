#pragma once

#include <sys/socket.h>

#include <array>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "core/runtime/Expected.h"
#include "platform/codesign/LoadedCode.h"
#include "platform/codesign/SignatureStore.h"
#include "platform/codesign/SocketClientEnd.h"

namespace lidora::vmac {

// The signed program that speaks on an accepted Unix stream connection.
// Identity is bound to the process image that holds the client end, not to
// whatever the connecting pid runs by the time someone looks: the connecting
// process must still hold the client end it opened after its last exec, run
// a signed executable, and run only code its signer or the administrators
// put there. Independent of any message bus, so launchd's own sockets can
// use it too. Safe to use from several threads.
class PeerImage {
public:
    explicit PeerImage(std::shared_ptr<const SignatureStore> store) : store_(std::move(store)) {}

    // The signature of the program on the other end of `socket`, whose
    // SO_PEERCRED is `peer`, or why it cannot be vouched for.
    [[nodiscard]] Expected<SignatureRecord, std::string> verify(int socket, const ucred& peer) const;

private:
    std::shared_ptr<const SignatureStore> store_;
    LoadedCodeCheck loadedCode_;
    SocketDiagnostics sockets_;
    // Where each peer held its last two connections (a client may open the
    // next before the last is closed): hints, checked like any other number,
    // so a stale one only costs the full look.
    struct LastDescriptors {
        std::mutex mutex;
        std::unordered_map<pid_t, std::array<int, 2>> byProcess;
    };
    std::unique_ptr<LastDescriptors> lastDescriptors_ = std::make_unique<LastDescriptors>();
};

}  // namespace lidora::vmac
