// The connection's method calls between processes: calling another
// process's object, and serving one.
#include <algorithm>
#include <cstring>

#include "platform/bus/BusConnection.h"

namespace lidora::vmac {

Cancellable VmacBus::Connection::failedCall(std::unique_ptr<Call> call) {
    const auto id = call->id;
    calls_.emplace(id, std::move(call));
    post([this, id] { finishCall(id, nullptr); });
    return Cancellable(weak_from_this(), id);
}

Cancellable VmacBus::Connection::callMethod(const BusMethod& method, const Append& append,
                                            std::chrono::microseconds timeout,
                                            std::function<void(sd_bus_message*)> reply) {
    const auto id = nextId_++;
    auto call = std::make_unique<Call>();
    call->owner = this;
    call->id = id;
    call->reply = std::move(reply);
    if (!bus_) {
        return failedCall(std::move(call));
    }
    sd_bus_message* raw = nullptr;
    int r = sd_bus_message_new_method_call(bus_.get(), &raw, method.destination.c_str(), method.path, method.interface,
                                           method.member);
    const SdBusMessagePtr message(raw);
    if (r >= 0 && append) {
        r = append(message.get());
    }
    sd_bus_slot* slot = nullptr;
    if (r >= 0) {
        r = sd_bus_call_async(bus_.get(), &slot, message.get(), onCallReply, call.get(),
                              static_cast<std::uint64_t>(std::max<std::int64_t>(timeout.count(), 1)));
    }
    call->slot.reset(slot);
    if (r < 0) {
        logger_.error("cannot call %{public}s on %{public}s: %{public}s", method.member, method.destination,
                      std::strerror(-r));
        return failedCall(std::move(call));
    }
    calls_.emplace(id, std::move(call));
    scheduleKick();
    return Cancellable(weak_from_this(), id);
}

Cancellable VmacBus::Connection::serveObject(std::string path, Handler handler) {
    const auto id = nextId_++;
    auto served = std::make_unique<Export>();
    served->owner = this;
    served->id = id;
    served->path = std::move(path);
    served->handler = std::make_shared<Handler>(std::move(handler));
    if (bus_) {
        addObject(*served);
    }
    exports_.emplace(id, std::move(served));
    return Cancellable(weak_from_this(), id);
}

void VmacBus::Connection::addObject(Export& served) {
    sd_bus_slot* slot = nullptr;
    const int r = sd_bus_add_object(bus_.get(), &slot, served.path.c_str(), onMethodCall, &served);
    served.slot.reset(slot);
    if (r < 0) {
        logger_.error("cannot serve %{public}s: %{public}s", served.path, std::strerror(-r));
    }
}

int VmacBus::Connection::onMethodCall(sd_bus_message* message, void* userdata, sd_bus_error* /*error*/) {
    if (sd_bus_message_is_method_call(message, nullptr, nullptr) <= 0) {
        return 0;
    }
    const auto* served = static_cast<Export*>(userdata);
    std::shared_ptr<sd_bus_message> held(sd_bus_message_ref(message), sd_bus_message_unref);
    served->owner->post([handler = std::weak_ptr<Handler>(served->handler), held] {
        if (auto run = handler.lock()) {
            (*run)(held.get());
        }
    });
    return 1;  // answered later, from the loop
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
