#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "core/helper/LightState.h"

namespace lidora {

std::string_view lightStateName(LightState state);

// Where the app stands with the light: known, failed (keeping the last state
// we knew), waiting for the user to approve the helper, or still finding out.
class Phase {
public:
    struct Ready {
        LightState state;
        friend bool operator==(const Ready&, const Ready&) = default;
    };
    struct Failed {
        std::string message;
        std::optional<LightState> last;
        friend bool operator==(const Failed&, const Failed&) = default;
    };
    struct NeedsApproval {
        friend bool operator==(const NeedsApproval&, const NeedsApproval&) = default;
    };
    struct Loading {
        friend bool operator==(const Loading&, const Loading&) = default;
    };

    Phase() = default;
    static Phase ready(LightState state) { return Phase(Ready{state}); }
    static Phase failed(std::string message, std::optional<LightState> last) {
        return Phase(Failed{std::move(message), last});
    }
    static Phase needsApproval() { return Phase(NeedsApproval{}); }
    static Phase loading() { return Phase(Loading{}); }

    [[nodiscard]] const Ready* asReady() const { return std::get_if<Ready>(&value_); }
    [[nodiscard]] const Failed* asFailed() const { return std::get_if<Failed>(&value_); }
    [[nodiscard]] bool isNeedsApproval() const { return std::holds_alternative<NeedsApproval>(value_); }
    [[nodiscard]] bool isLoading() const { return std::holds_alternative<Loading>(value_); }

    // "ready(on)", "failed(<message>, last: off)", "needsApproval", "loading".
    [[nodiscard]] std::string text() const;

    friend bool operator==(const Phase&, const Phase&) = default;

private:
    using Value = std::variant<Loading, Ready, Failed, NeedsApproval>;
    explicit Phase(Value value) : value_(std::move(value)) {}

    Value value_;
};

// The state of ready, the last state of failed, none otherwise.
std::optional<LightState> knownLightState(const Phase& phase);

}  // namespace lidora
