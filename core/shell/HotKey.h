#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>

#include "core/ports/HotKeyEvents.h"

namespace lidora {

inline constexpr std::uint32_t kHotKeySignature = fourCharCode("LDRA");

// Carbon virtual key codes and modifiers of the app's shortcuts.
inline constexpr std::uint32_t kKeyCode7 = 26;
inline constexpr std::uint32_t kKeyCode0 = 29;
inline constexpr std::uint32_t kShiftCommand = kCmdKey | kShiftKey;

class HotKeyCenter;

// One system-wide shortcut. Once registered it stays registered for the
// life of the process: the center keeps it, whoever else lets it go.
class HotKey {
    struct Private {
        explicit Private() = default;
    };

public:
    using Action = std::function<void()>;

    HotKey(Private /*unused*/, Action action) : action_(std::move(action)) {}

    // Empty when the handler cannot be installed or the system refuses the
    // combination.
    static std::shared_ptr<HotKey> create(HotKeyCenter& center, std::uint32_t keyCode, std::uint32_t modifiers,
                                          Action action);

    [[nodiscard]] std::optional<EventHotKeyRef> ref() const { return ref_; }
    [[nodiscard]] std::uint32_t identifier() const { return identifier_; }

private:
    friend class HotKeyCenter;

    std::optional<EventHotKeyRef> ref_;
    Action action_;
    std::uint32_t identifier_ = 0;
};

// The process's one hot-key handler and the registry that routes presses.
class HotKeyCenter {
public:
    explicit HotKeyCenter(HotKeyEventManager& events) : events_(events) {}
    HotKeyCenter(const HotKeyCenter&) = delete;
    HotKeyCenter& operator=(const HotKeyCenter&) = delete;

    // What the installed handler does with a press; always noErr.
    std::int32_t dispatch(EventHotKeyID id);

    [[nodiscard]] bool handlerInstalled() const { return handlerInstalled_; }
    [[nodiscard]] std::uint32_t nextIdentifier() const { return nextIdentifier_; }
    [[nodiscard]] std::size_t registeredCount() const { return registry_.size(); }

private:
    friend class HotKey;
    bool installHandler();

    HotKeyEventManager& events_;
    bool handlerInstalled_ = false;
    std::uint32_t nextIdentifier_ = 1;
    std::map<std::uint32_t, std::shared_ptr<HotKey>> registry_;
};

}  // namespace lidora
