#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/ports/HotKeyEvents.h"
#include "core/runtime/Expected.h"
#include "platform/bus/KeyCombination.h"
#include "platform/prefs/RecordFile.h"
#include "platform/vmac/VmacPaths.h"

namespace lidora::vmac {

// One process, told apart from a later one that reuses its pid by the
// time it started (clock ticks since boot).
struct ProcessIdentity {
    pid_t pid = 0;
    std::uint64_t startTime = 0;
    friend bool operator==(const ProcessIdentity&, const ProcessIdentity&) = default;
};

std::optional<ProcessIdentity> identifyProcess(pid_t pid);
// Whether that very process still runs (a zombie does not).
bool processIsAlive(const ProcessIdentity& process);

// A hot key some process registered with the event manager.
struct HotKeyRegistration {
    KeyCombination combination;
    ProcessIdentity owner;
    std::string process;  // the owner's program name, for people
    EventHotKeyID id;
    friend bool operator==(const HotKeyRegistration&, const HotKeyRegistration&) = default;
};

using HotKeyRegistrations = std::vector<HotKeyRegistration>;
using IsAlive = std::function<bool(const ProcessIdentity&)>;

Expected<HotKeyRegistrations, std::string> decodeHotKeyRegistrations(std::string_view text);
std::string encodeHotKeyRegistrations(const HotKeyRegistrations& registrations);

// The live registration of `combination`, if any.
std::optional<HotKeyRegistration> holderOf(const HotKeyRegistrations& registrations, const KeyCombination& combination,
                                           const IsAlive& isAlive);

// Forgets the registrations of processes that ended, then adds `registration`
// unless a live process holds its combination (kEventHotKeyExistsErr).
Expected<void, std::int32_t> addHotKeyRegistration(HotKeyRegistrations& registrations,
                                                   const HotKeyRegistration& registration, const IsAlive& isAlive);

// Every process's hot keys, in one record under var/db.
class HotKeyRecord {
public:
    explicit HotKeyRecord(const VmacPaths& paths, RecordFile<HotKeyRegistrations>::Warn warn = {});

    struct Refusal {
        std::int32_t status;  // kEventHotKeyExistsErr, or kEventInternalErr when the record fails
        std::string reason;
    };
    Expected<void, Refusal> add(const HotKeyRegistration& registration);
    Expected<void, std::string> removeAllOf(const ProcessIdentity& owner);
    [[nodiscard]] Expected<HotKeyRegistrations, std::string> read() const { return file_.read(); }

private:
    RecordFile<HotKeyRegistrations> file_;
};

}  // namespace lidora::vmac
