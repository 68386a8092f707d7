#pragma once

#include <chrono>
#include <map>
#include <memory>

#include "platform/bus/VmacBus.h"
#include "platform/sdbus/SdBusLoopAttachment.h"
#include "platform/sdbus/SdBusPtr.h"

namespace lidora::vmac {

// The connection behind VmacBus: owns the sd-bus connection while there is
// one, and what must be renewed or answered when it comes and goes.
class VmacBus::Connection final : public CancelTarget, public std::enable_shared_from_this<Connection> {
public:
    Connection(RunLoop& loop, std::string address, Logger logger);
    ~Connection() override;
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    void connect();
    void cancel(std::uint64_t id) override;

    [[nodiscard]] bool connected() const { return bus_ != nullptr; }
    Cancellable whenConnected(std::function<void()> ready);
    bool emit(const BusSignalName& signal, const Append& append);
    // `arg0` is checked here as well: the rule may leave it out (busMatchRule).
    Cancellable subscribe(std::string rule, std::optional<std::string> arg0, Handler handler);
    Cancellable claimName(std::string name, std::function<void(NameClaim)> done);
    Cancellable call(const char* member, const std::string& argument, std::function<void(sd_bus_message*)> reply);
    Cancellable callMethod(const BusMethod& method, const Append& append, std::chrono::microseconds timeout,
                           std::function<void(sd_bus_message*)> reply);
    Cancellable serveObject(std::string path, Handler handler);
    bool reply(sd_bus_message* call, const Append& append);
    bool replyError(sd_bus_message* call, const char* name, const std::string& text);

private:
    // Each entry's address is its sd-bus userdata, so entries live on the heap.
    struct Entry {
        Connection* owner;
        std::uint64_t id;
    };
    struct Subscription : Entry {
        std::string rule;
        std::optional<std::string> arg0;
        std::shared_ptr<Handler> handler;
        SdBusSlotPtr slot;
    };
    struct Claim : Entry {
        std::string name;
        std::function<void(NameClaim)> done;
        SdBusSlotPtr slot;
    };
    // A method call to the daemon; `reply` gets the answer on the loop, or
    // null when the connection went away first.
    struct Call : Entry {
        std::function<void(sd_bus_message*)> reply;
        SdBusSlotPtr slot;
    };

    struct Export : Entry {
        std::string path;
        std::shared_ptr<Handler> handler;
        SdBusSlotPtr slot;
    };

    static int onSignal(sd_bus_message* message, void* userdata, sd_bus_error* error);
    static int onMatchInstalled(sd_bus_message* message, void* userdata, sd_bus_error* error);
    static int onClaimReply(sd_bus_message* message, void* userdata, sd_bus_error* error);
    static int onMethodCall(sd_bus_message* message, void* userdata, sd_bus_error* error);
    static int onCallReply(sd_bus_message* message, void* userdata, sd_bus_error* error);

    void addMatch(Subscription& subscription);
    void requestName(Claim& claim);
    void addObject(Export& served);
    Cancellable failedCall(std::unique_ptr<Call> call);
    void answerClaim(Claim& claim, NameClaim answer);
    void finishCall(std::uint64_t id, std::shared_ptr<sd_bus_message> reply);
    void runWaiter(std::uint64_t id);
    void scheduleKick();
    void broken(int error);
    void teardown(bool notify);
    void drain();
    bool processUntil(const std::function<bool()>& done, std::chrono::steady_clock::time_point deadline);
    void retryLater();
    void post(std::function<void()> work);

    RunLoop& loop_;
    std::string address_;
    Logger logger_;
    SdBusPtr bus_;
    std::unique_ptr<SdBusLoopAttachment> attachment_;
    Cancellable retry_;
    std::chrono::milliseconds retryDelay_;
    bool failing_ = false;
    bool kickPosted_ = false;
    std::uint64_t nextId_ = 1;
    std::map<std::uint64_t, std::function<void()>> waiters_;
    std::map<std::uint64_t, std::unique_ptr<Subscription>> subscriptions_;
    std::map<std::uint64_t, std::unique_ptr<Claim>> claims_;
    std::map<std::uint64_t, std::unique_ptr<Call>> calls_;
    std::map<std::uint64_t, std::unique_ptr<Export>> exports_;
};

}  // namespace lidora::vmac
