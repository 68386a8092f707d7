#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "core/ports/XpcObject.h"

namespace lidora {

// The root daemon's XPC interface. Every method answers through its reply,
// exactly once; an absent error text means success.
class LogoHelperProtocol : public virtual XpcObject {
public:
    static constexpr std::string_view kXpcProtocolName = "LogoHelperProtocol";

    using StateReply = std::function<void(std::int64_t state, std::optional<std::string> error)>;
    using ErrorReply = std::function<void(std::optional<std::string> error)>;
    using VersionReply = std::function<void(std::string version)>;

    virtual void getState(StateReply reply) = 0;
    virtual void setLightOn(bool on, ErrorReply reply) = 0;
    virtual void version(VersionReply reply) = 0;
    virtual void resetLogoTables(ErrorReply reply) = 0;
};

inline constexpr std::string_view kHelperMachService = "com.zelquin.lidora.helper";
inline constexpr std::string_view kHelperVersion = "2";

}  // namespace lidora
