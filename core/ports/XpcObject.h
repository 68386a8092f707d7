#pragma once

#include <string>
#include <string_view>

namespace lidora {

// Base of everything that crosses an XPC connection: exported objects and the
// proxies that stand for remote ones. A proxy implements a protocol only if
// the connection could speak it, so a cast tells whether it conforms.
class XpcObject {
public:
    virtual ~XpcObject() = default;
};

// The description of a protocol that a connection exports or expects, like
// an interface built from a protocol. Protocols name themselves with a
// kXpcProtocolName constant.
struct XpcInterface {
    std::string protocolName;

    template <typename Protocol>
    static XpcInterface of() {
        return XpcInterface{std::string(Protocol::kXpcProtocolName)};
    }
    friend bool operator==(const XpcInterface&, const XpcInterface&) = default;
};

// A connection failure as the framework describes it to its error handlers.
// interfaceMismatch: the peer does not speak the protocol the proxy stands for.
struct XpcError {
    enum class Kind { invalidated, interrupted, interfaceMismatch };
    Kind kind = Kind::invalidated;
    std::string localizedDescription;
};

}  // namespace lidora
