#include "core/shell/HotKey.h"

namespace lidora {

std::shared_ptr<HotKey> HotKey::create(HotKeyCenter& center, std::uint32_t keyCode, std::uint32_t modifiers,
                                       Action action) {
    auto hotKey = std::make_shared<HotKey>(Private{}, std::move(action));
    if (!center.installHandler()) {
        return nullptr;
    }
    // Numbers are never reused, not even after a refusal.
    const std::uint32_t identifier = center.nextIdentifier_++;
    auto registered =
        center.events_.registerEventHotKey(keyCode, modifiers, EventHotKeyID{kHotKeySignature, identifier});
    if (!registered) {
        return nullptr;
    }
    hotKey->ref_ = *registered;
    hotKey->identifier_ = identifier;
    center.registry_.emplace(identifier, hotKey);
    return hotKey;
}

bool HotKeyCenter::installHandler() {
    if (handlerInstalled_) {
        return true;
    }
    handlerInstalled_ =
        events_.installHotKeyPressedHandler([this](EventHotKeyID id) { return dispatch(id); }) == kNoErr;
    return handlerInstalled_;
}

std::int32_t HotKeyCenter::dispatch(EventHotKeyID id) {
    // Carbon passes only the number on to the registry; the signature of
    // another program's key cannot reach this handler anyway.
    const auto found = registry_.find(id.id);
    if (found != registry_.end()) {
        // The action may register further keys; keep this one alive meanwhile.
        const auto hotKey = found->second;
        hotKey->action_();
    }
    return kNoErr;
}

}  // namespace lidora
