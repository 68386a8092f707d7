#pragma once

#include <sys/socket.h>

#include <functional>
#include <memory>
#include <string>

#include "core/runtime/Expected.h"
#include "platform/codesign/CodeSignature.h"
#include "platform/codesign/SignatureStore.h"

namespace lidora::vmac {

// Who sent a service-manager request: the accepted control connection and
// its peer's credentials (SO_PEERCRED).
struct ServiceRequester {
    int socket = -1;
    ucred peer{};
};

// Proves which signed code sent a request over `socket`, or says why the
// peer can't be believed. The service manager trusts nothing else about an
// unprivileged requester.
using RequesterVerifier = std::function<Expected<CodeSignature, std::string>(int socket, const ucred& peer)>;

// The signature of the program that holds the client end of the connection,
// checked as the helper checks its clients: no exec since connecting, no
// preloaded or foreign code, no tracer.
RequesterVerifier signedProcessVerifier(std::shared_ptr<const SignatureStore> signatures);

}  // namespace lidora::vmac
