#include "platform/session/VirtualPowerSources.h"

#include "platform/session/SessionState.h"

namespace lidora::vmac {

namespace {

struct PowerSnapshot final : PowerSourcesBlob {
    explicit PowerSnapshot(PowerSourceKind kind) : providing(kind) {}
    PowerSourceKind providing;
};

}  // namespace

PowerSourcesInfo VirtualPowerSources::copyPowerSourcesInfo() const {
    const auto state = readSessionState(paths_);
    if (!state) {
        return nullptr;
    }
    return std::make_shared<const PowerSnapshot>(state->powerSource);
}

std::optional<std::string> VirtualPowerSources::providingPowerSourceType(const PowerSourcesBlob& snapshot) const {
    const auto* ours = dynamic_cast<const PowerSnapshot*>(&snapshot);
    if (ours == nullptr) {
        return std::nullopt;
    }
    return std::string(powerSourceTypeName(ours->providing));
}

}  // namespace lidora::vmac
