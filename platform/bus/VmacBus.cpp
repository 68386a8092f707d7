#include "platform/bus/VmacBus.h"

#include "platform/bus/BusConnection.h"
#include "platform/vmac/MessageBusConfig.h"

namespace lidora::vmac {

namespace {

bool isReply(sd_bus_message* message) {
    return message != nullptr && sd_bus_message_is_method_error(message, nullptr) == 0;
}

}  // namespace

VmacBus::VmacBus(RunLoop& loop, const VmacPaths& paths, Logger logger)
    : VmacBus(loop, messageBusAddress(paths), std::move(logger)) {}

VmacBus::VmacBus(RunLoop& loop, std::string address, Logger logger)
    : connection_(std::make_shared<Connection>(loop, std::move(address), std::move(logger))) {
    connection_->connect();
}

VmacBus::~VmacBus() = default;

bool VmacBus::connected() const {
    return connection_->connected();
}

Cancellable VmacBus::whenConnected(std::function<void()> ready) {
    return connection_->whenConnected(std::move(ready));
}

bool VmacBus::emit(const BusSignalName& signal, const Append& append) {
    return connection_->emit(signal, append);
}

Cancellable VmacBus::subscribe(const BusSignalName& signal, std::optional<std::string> arg0, Handler handler) {
    auto rule = busMatchRule(signal, arg0);
    return connection_->subscribe(std::move(rule), std::move(arg0), std::move(handler));
}

Cancellable VmacBus::claimName(std::string name, std::function<void(NameClaim)> done) {
    return connection_->claimName(std::move(name), std::move(done));
}

Cancellable VmacBus::queryNameOwnerPid(std::string name, std::function<void(std::optional<pid_t>)> done) {
    // The reply callback only parses; the answer reaches `done` on the loop.
    auto shared = std::make_shared<std::function<void(std::optional<pid_t>)>>(std::move(done));
    return connection_->call("GetConnectionUnixProcessID", name, [shared](sd_bus_message* reply) {
        std::uint32_t pid = 0;
        std::optional<pid_t> owner;
        if (isReply(reply) && sd_bus_message_read(reply, "u", &pid) >= 0 && pid > 0) {
            owner = static_cast<pid_t>(pid);
        }
        (*shared)(owner);
    });
}

Cancellable VmacBus::queryNameOwnerUid(std::string name, std::function<void(std::optional<uid_t>)> done) {
    auto shared = std::make_shared<std::function<void(std::optional<uid_t>)>>(std::move(done));
    return connection_->call("GetConnectionUnixUser", name, [shared](sd_bus_message* reply) {
        std::uint32_t uid = 0;
        std::optional<uid_t> owner;
        if (isReply(reply) && sd_bus_message_read(reply, "u", &uid) >= 0) {
            owner = static_cast<uid_t>(uid);
        }
        (*shared)(owner);
    });
}

Cancellable VmacBus::callMethod(const BusMethod& method, const Append& append, std::chrono::microseconds timeout,
                                Handler reply) {
    return connection_->callMethod(method, append, timeout, std::move(reply));
}

Cancellable VmacBus::serveObject(std::string path, Handler handler) {
    return connection_->serveObject(std::move(path), std::move(handler));
}

bool VmacBus::reply(sd_bus_message* call, const Append& append) {
    return connection_->reply(call, append);
}

bool VmacBus::replyError(sd_bus_message* call, const char* name, const std::string& text) {
    return connection_->replyError(call, name, text);
}

Cancellable VmacBus::settle(std::function<void(bool)> done) {
    auto shared = std::make_shared<std::function<void(bool)>>(std::move(done));
    return connection_->call("GetId", {}, [shared](sd_bus_message* reply) { (*shared)(isReply(reply)); });
}

}  // namespace lidora::vmac
