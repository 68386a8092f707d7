#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <span>
#include <vector>

#include "core/ports/MacTypes.h"
#include "core/runtime/Expected.h"
#include "core/runtime/Registry.h"

namespace lidora::vmac {

// What CoreMediaIO and CoreAudio share: objects with properties at
// addresses, and listeners told which of their addresses changed.

inline constexpr FourCharCode kPropertyWildcard = fourCharCode("****");
inline constexpr std::uint32_t kElementWildcard = 0xFFFFFFFF;

template <typename Address>
struct PropertyChange {
    std::uint32_t object = 0;
    Address address;
    friend bool operator==(const PropertyChange&, const PropertyChange&) = default;
};

// Whether a listener at `listened` hears of a change at `changed`.
template <typename Address>
bool addressMatches(const Address& listened, const Address& changed) {
    return (listened.selector == kPropertyWildcard || listened.selector == changed.selector) &&
           (listened.scope == kPropertyWildcard || listened.scope == changed.scope) &&
           (listened.element == kElementWildcard || listened.element == changed.element);
}

// One process's listener blocks on one hardware layer.
template <typename Address>
class PropertyListeners {
public:
    using Listener = std::function<void(std::span<const Address>)>;

    [[nodiscard]] Cancellable add(std::uint32_t object, const Address& address, Listener listener) {
        return registry_.add(Entry{object, address, std::move(listener)});
    }

    // Calls each listener once with its addresses among `changes`. A listener
    // removed by an earlier one is not called.
    void tell(const std::vector<PropertyChange<Address>>& changes) const {
        for (const auto& [id, entry] : registry_.snapshot()) {
            std::vector<Address> heard;
            for (const auto& change : changes) {
                if (change.object == entry->object && addressMatches(entry->address, change.address)) {
                    heard.push_back(change.address);
                }
            }
            if (!heard.empty() && registry_.contains(id)) {
                entry->listener(heard);
            }
        }
    }

private:
    struct Entry {
        std::uint32_t object;
        Address address;
        Listener listener;
    };
    Registry<Entry> registry_;
};

// A property's value as 32-bit words: one for a number, any count for a
// list of object ids.
struct PropertyWords {
    std::vector<std::uint32_t> words;
    bool isList = false;
};

// Copies a value into a caller's buffer as the frameworks do: a list gives
// as many whole entries as fit, a number needs room for itself.
inline Expected<std::uint32_t, OSStatus> copyPropertyWords(const PropertyWords& value, std::span<unsigned char> data,
                                                           OSStatus badSize) {
    constexpr std::size_t kWord = sizeof(std::uint32_t);
    const std::size_t count = value.isList ? std::min(value.words.size(), data.size() / kWord) : value.words.size();
    if (count * kWord > data.size()) {
        return unexpected(badSize);
    }
    if (count != 0) {
        std::memcpy(data.data(), value.words.data(), count * kWord);
    }
    return static_cast<std::uint32_t>(count * kWord);
}

}  // namespace lidora::vmac
