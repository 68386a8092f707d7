// Method calls between peers: the ones this process serves and the ones it
// makes to other processes (not only to the bus daemon).
#include <cstring>

#include "platform/bus/BusConnection.h"

namespace lidora::vmac {

std::uint64_t VmacBus::Connection::newCall(std::function<void(sd_bus_message*)> reply) {
    const auto id = nextId_++;
    auto call = std::make_unique<Call>();
    call->owner = this;
    call->id = id;
    call->reply = std::move(reply);
    calls_.emplace(id, std::move(call));
    return id;
}

Cancellable VmacBus::Connection::callMethod(const BusMethodName& method, const std::string& destination,
                                            const Append& append, std::chrono::microseconds timeout,
                                            std::function<void(sd_bus_message*)> reply) {
    const auto id = newCall(std::move(reply));
    int r = -ENOTCONN;
    if (bus_) {
        sd_bus_message* raw = nullptr;
        r = sd_bus_message_new_method_call(bus_.get(), &raw, destination.c_str(), method.path, method.interface,
                                           method.member);
        const SdBusMessagePtr message(raw);
        if (r >= 0 && append) {
            r = append(message.get());
        }
        if (r >= 0) {
            Call& call = *calls_.at(id);
            sd_bus_slot* slot = nullptr;
            r = sd_bus_call_async(bus_.get(), &slot, message.get(), onCallReply, &call,
                                  static_cast<std::uint64_t>(std::max<std::int64_t>(1, timeout.count())));
            call.slot.reset(slot);
        }
    }
    if (r < 0) {
        if (bus_) {
            logger_.error("cannot call %{public}s.%{public}s: %{public}s", method.interface, method.member,
                          std::strerror(-r));
        }
        post([this, id] { finishCall(id, nullptr); });
    } else {
        scheduleKick();
    }
    return Cancellable(weak_from_this(), id);
}

Cancellable VmacBus::Connection::serve(std::string path, std::string interface, CallHandler handler) {
    const auto id = nextId_++;
    auto object = std::make_unique<Object>();
    object->owner = this;
    object->id = id;
    object->path = std::move(path);
    object->interface = std::move(interface);
    object->handler = std::make_shared<CallHandler>(std::move(handler));
    if (bus_) {
        addObject(*object);
    }
    objects_.emplace(id, std::move(object));
    return Cancellable(weak_from_this(), id);
}

void VmacBus::Connection::addObject(Object& object) {
    sd_bus_slot* slot = nullptr;
    const int r = sd_bus_add_object(bus_.get(), &slot, object.path.c_str(), onMethodCall, &object);
    object.slot.reset(slot);
    if (r < 0) {
        logger_.error("cannot serve %{public}s: %{public}s", object.path, std::strerror(-r));
    }
}

int VmacBus::Connection::onMethodCall(sd_bus_message* message, void* userdata, sd_bus_error* /*error*/) {
    const auto* object = static_cast<Object*>(userdata);
    if (sd_bus_message_is_method_call(message, object->interface.c_str(), nullptr) <= 0) {
        return 0;
    }
    std::shared_ptr<sd_bus_message> held(sd_bus_message_ref(message), sd_bus_message_unref);
    object->owner->post([handler = std::weak_ptr<CallHandler>(object->handler), held] {
        if (auto run = handler.lock()) {
            sd_bus_message_rewind(held.get(), 1);
            (*run)(held);
        }
    });
    return 1;  // answered later, by the handler
}

bool VmacBus::Connection::reply(sd_bus_message* call, const Append& append) {
    sd_bus_message* raw = nullptr;
    int r = sd_bus_message_new_method_return(call, &raw);
    const SdBusMessagePtr message(raw);
    if (r >= 0 && append) {
        r = append(message.get());
    }
    if (r >= 0) {
        r = sd_bus_send(nullptr, message.get(), nullptr);
    }
    if (r < 0) {
        logger_.info("cannot answer %{public}s: %{public}s", sd_bus_message_get_member(call), std::strerror(-r));
        return false;
    }
    scheduleKick();
    return true;
}

bool VmacBus::Connection::replyError(sd_bus_message* call, const char* name, const std::string& text) {
    const sd_bus_error error = SD_BUS_ERROR_MAKE_CONST(name, text.c_str());
    const int r = sd_bus_reply_method_error(call, &error);
    if (r < 0) {
        logger_.info("cannot answer %{public}s: %{public}s", sd_bus_message_get_member(call), std::strerror(-r));
        return false;
    }
    scheduleKick();
    return true;
}

}  // namespace lidora::vmac
