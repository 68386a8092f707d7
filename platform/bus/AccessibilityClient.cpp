#include "platform/bus/AccessibilityClient.h"

#include <cstdio>
#include <cstring>

#include "platform/bus/AccessibilityWire.h"
#include "platform/bus/BusNames.h"

namespace lidora::vmac {

AccessibilityClient::AccessibilityClient(VmacBus& bus, const std::string& bundleIdentifier,
                                         std::chrono::milliseconds timeout)
    : bus_(bus), busName_(busNameForBundleIdentifier(bundleIdentifier)), timeout_(timeout) {}

Cancellable AccessibilityClient::request(const char* member, const VmacBus::Append& append, VmacBus::Handler reply) {
    return bus_.callMethod({busName_, kAccessibilityPath, kAccessibilityInterface, member}, append, timeout_,
                           std::move(reply));
}

std::optional<std::string> AccessibilityClient::failure(sd_bus_message* reply) const {
    if (reply == nullptr) {
        return "the virtual Mac's message bus is not reachable";
    }
    if (sd_bus_message_is_method_error(reply, nullptr) <= 0) {
        return std::nullopt;
    }
    const sd_bus_error* error = sd_bus_message_get_error(reply);
    const std::string name = error != nullptr && error->name != nullptr ? error->name : "";
    const std::string text = error != nullptr && error->message != nullptr ? error->message : name;
    if (name == SD_BUS_ERROR_TIMEOUT || name == SD_BUS_ERROR_NO_REPLY) {
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.3g", static_cast<double>(timeout_.count()) / 1000);
        return std::string("the application did not answer within ") + seconds + " s";
    }
    if (name == SD_BUS_ERROR_SERVICE_UNKNOWN || name == SD_BUS_ERROR_NAME_HAS_NO_OWNER) {
        return "the application is not running";
    }
    if (name == SD_BUS_ERROR_UNKNOWN_OBJECT || name == SD_BUS_ERROR_UNKNOWN_METHOD ||
        name == SD_BUS_ERROR_UNKNOWN_INTERFACE) {
        return "the application offers no UI scripting";
    }
    return text;
}

Cancellable AccessibilityClient::copyTree(std::function<void(Expected<UiElement, std::string>)> done) {
    return request(kCopyTreeMethod, {}, [this, done = std::move(done)](sd_bus_message* reply) {
        if (auto why = failure(reply)) {
            done(unexpected(std::move(*why)));
            return;
        }
        done(readUiTree(reply));
    });
}

Cancellable AccessibilityClient::perform(std::uint64_t element, const std::string& action,
                                         std::function<void(std::optional<std::string>)> done) {
    return request(
        kPerformMethod,
        [element, &action](sd_bus_message* message) {
            return sd_bus_message_append(message, "ts", element, action.c_str());
        },
        [this, done = std::move(done)](sd_bus_message* reply) { done(failure(reply)); });
}

Cancellable AccessibilityClient::setValue(std::uint64_t element, const std::string& value,
                                          std::function<void(std::optional<std::string>)> done) {
    return request(
        kSetValueMethod,
        [element, &value](sd_bus_message* message) {
            return sd_bus_message_append(message, "ts", element, value.c_str());
        },
        [this, done = std::move(done)](sd_bus_message* reply) { done(failure(reply)); });
}

}  // namespace lidora::vmac
