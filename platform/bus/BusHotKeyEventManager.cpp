#include "platform/bus/BusHotKeyEventManager.h"

#include <unistd.h>

#include <filesystem>
#include <string>

#include "platform/bus/BusProtocol.h"

namespace lidora::vmac {

namespace {

std::string ownProgramName() {
    std::error_code error;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : self.filename().string();
}

}  // namespace

BusHotKeyEventManager::BusHotKeyEventManager(VmacBus& bus, const VmacPaths& paths, Logger logger)
    : record_(paths, [logger](const std::string& warning) { logger.error("%{public}s", warning); }),
      logger_(std::move(logger)),
      self_(identifyProcess(::getpid())),
      processName_(ownProgramName()),
      presses_(bus.subscribe(kHotKeyPressed, std::to_string(::getpid()),
                             [this](sd_bus_message* message) { pressed(message); })) {}

BusHotKeyEventManager::~BusHotKeyEventManager() {
    if (self_ && !registered_.empty()) {
        if (auto removed = record_.removeAllOf(*self_); !removed) {
            logger_.error("cannot withdraw hot keys: %{public}s", removed.error());
        }
    }
}

std::int32_t BusHotKeyEventManager::installHotKeyPressedHandler(std::function<std::int32_t(EventHotKeyID)> handler) {
    handler_ = std::move(handler);
    return kNoErr;
}

Expected<EventHotKeyRef, std::int32_t> BusHotKeyEventManager::registerEventHotKey(std::uint32_t keyCode,
                                                                                  std::uint32_t modifiers,
                                                                                  EventHotKeyID id) {
    if (!self_) {
        logger_.error("cannot register a hot key: this process cannot identify itself");
        return unexpected(kEventInternalErr);
    }
    const KeyCombination combination{keyCode, modifiers};
    const HotKeyRegistration registration{combination, *self_, processName_, id};
    if (auto added = record_.add(registration); !added) {
        logger_.error("cannot register hot key %{public}s: %{public}s", describeKeyCombination(combination),
                      added.error().reason);
        return unexpected(added.error().status);
    }
    const auto ref = nextRef_++;
    registered_.push_back(Registered{combination, id, ref});
    return ref;
}

void BusHotKeyEventManager::pressed(sd_bus_message* message) {
    const char* pid = nullptr;
    KeyCombination combination;
    if (sd_bus_message_read(message, "suu", &pid, &combination.keyCode, &combination.modifiers) < 0) {
        logger_.error("ignored a malformed hot-key press");
        return;
    }
    for (const auto& registered : registered_) {
        if (registered.combination == combination) {
            if (handler_) {
                handler_(registered.id);
            }
            return;
        }
    }
}

bool sendHotKeyPress(VmacBus& bus, pid_t owner, const KeyCombination& combination) {
    const auto pid = std::to_string(owner);
    return bus.emit(kHotKeyPressed, [&](sd_bus_message* message) {
        return sd_bus_message_append(message, "suu", pid.c_str(), combination.keyCode, combination.modifiers);
    });
}

}  // namespace lidora::vmac
