#include "bus/VmacBus.h"

#include <cctype>
#include <chrono>
#include <cstring>
#include <map>

#include "vmac/MessageBusConfig.h"
#include "xpc/SdBusLoopAttachment.h"
#include "xpc/SdBusPtr.h"

namespace lidora::vmac {

namespace {

using namespace std::chrono_literals;

constexpr auto kFirstRetry = 100ms;
constexpr auto kLastRetry = 5s;
constexpr std::uint64_t kCallTimeoutUs = 5'000'000;
constexpr auto kDrainLimit = 1s;

constexpr const char* kDaemon = "org.freedesktop.DBus";
constexpr const char* kDaemonPath = "/org/freedesktop/DBus";

// Match rules quote values in '...'; a quote itself is written \' outside.
std::string matchValue(std::string_view value) {
    std::string out = "'";
    for (const char c : value) {
        if (c == '\'') {
            out += "'\\''";
        } else {
            out += c;
        }
    }
    return out + "'";
}

std::string matchRule(const BusSignalName& signal, const std::optional<std::string>& arg0) {
    std::string rule = "type='signal',path=" + matchValue(signal.path) + ",interface=" + matchValue(signal.interface) +
                       ",member=" + matchValue(signal.member);
    if (arg0) {
        rule += ",arg0=" + matchValue(*arg0);
    }
    return rule;
}

bool isReply(sd_bus_message* message) {
    return message != nullptr && sd_bus_message_is_method_error(message, nullptr) == 0;
}

}  // namespace

class VmacBus::Connection final : public CancelTarget, public std::enable_shared_from_this<Connection> {
public:
    Connection(RunLoop& loop, std::string address, Logger logger)
        : loop_(loop), address_(std::move(address)), logger_(std::move(logger)) {}
    ~Connection() override {
        drain();
        teardown(false);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    void connect();
    void cancel(std::uint64_t id) override;

    [[nodiscard]] bool connected() const { return bus_ != nullptr; }
    Cancellable whenConnected(std::function<void()> ready);
    bool emit(const BusSignalName& signal, const Append& append);
    Cancellable subscribe(std::string rule, Handler handler);
    Cancellable claimName(std::string name, std::function<void(NameClaim)> done);
    Cancellable call(const char* member, const std::string& argument, std::function<void(sd_bus_message*)> reply);

private:
    // Each entry's address is its sd-bus userdata, so entries live on the heap.
    struct Entry {
        Connection* owner;
        std::uint64_t id;
    };
    struct Subscription : Entry {
        std::string rule;
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

    static int onSignal(sd_bus_message* message, void* userdata, sd_bus_error* error);
    static int onMatchInstalled(sd_bus_message* message, void* userdata, sd_bus_error* error);
    static int onClaimReply(sd_bus_message* message, void* userdata, sd_bus_error* error);
    static int onCallReply(sd_bus_message* message, void* userdata, sd_bus_error* error);

    void addMatch(Subscription& subscription);
    void requestName(Claim& claim);
    void answerClaim(Claim& claim, NameClaim answer);
    void finishCall(std::uint64_t id, std::shared_ptr<sd_bus_message> reply);
    void runWaiter(std::uint64_t id);
    void scheduleKick();
    void broken(int error);
    void teardown(bool notify);
    void drain();
    void retryLater();
    void post(std::function<void()> work);

    RunLoop& loop_;
    std::string address_;
    Logger logger_;
    SdBusPtr bus_;
    std::unique_ptr<SdBusLoopAttachment> attachment_;
    Cancellable retry_;
    std::chrono::milliseconds retryDelay_ = kFirstRetry;
    bool failing_ = false;
    bool kickPosted_ = false;
    std::uint64_t nextId_ = 1;
    std::map<std::uint64_t, std::function<void()>> waiters_;
    std::map<std::uint64_t, std::unique_ptr<Subscription>> subscriptions_;
    std::map<std::uint64_t, std::unique_ptr<Claim>> claims_;
    std::map<std::uint64_t, std::unique_ptr<Call>> calls_;
};

void VmacBus::Connection::post(std::function<void()> work) {
    loop_.post([weak = weak_from_this(), work = std::move(work)] {
        if (weak.lock()) {
            work();
        }
    });
}

void VmacBus::Connection::connect() {
    retry_.cancel();
    sd_bus* raw = nullptr;
    int r = sd_bus_new(&raw);
    SdBusPtr bus(raw);
    if (r >= 0) {
        r = sd_bus_set_address(bus.get(), address_.c_str());
    }
    if (r >= 0) {
        r = sd_bus_set_bus_client(bus.get(), 1);
    }
    if (r >= 0) {
        r = sd_bus_set_method_call_timeout(bus.get(), kCallTimeoutUs);
    }
    if (r >= 0) {
        r = sd_bus_start(bus.get());
    }
    if (r < 0) {
        if (!failing_) {
            logger_.error("message bus at %{public}s unavailable: %{public}s; retrying", address_, std::strerror(-r));
        }
        failing_ = true;
        retryLater();
        return;
    }
    if (failing_) {
        logger_.notice("message bus connected");
    }
    failing_ = false;
    bus_ = std::move(bus);
    attachment_ = std::make_unique<SdBusLoopAttachment>(loop_, bus_.get(), [weak = weak_from_this()](int error) {
        // Tear down outside sd-bus's dispatch.
        if (auto self = weak.lock()) {
            self->post([self = self.get(), error] { self->broken(error); });
        }
    });
    for (auto& [id, subscription] : subscriptions_) {
        addMatch(*subscription);
    }
    for (auto& [id, claim] : claims_) {
        requestName(*claim);
    }
    for (const auto& [id, ready] : waiters_) {
        post([this, id = id] { runWaiter(id); });
    }
    scheduleKick();
}

void VmacBus::Connection::retryLater() {
    retry_ = loop_.scheduleAfter(retryDelay_, [weak = weak_from_this()] {
        if (auto self = weak.lock()) {
            self->connect();
        }
    });
    retryDelay_ = std::min(retryDelay_ * 2, std::chrono::duration_cast<std::chrono::milliseconds>(kLastRetry));
}

void VmacBus::Connection::broken(int error) {
    if (!bus_) {
        return;
    }
    logger_.error("message bus connection lost: %{public}s; reconnecting", std::strerror(-error));
    teardown(true);
    failing_ = true;
    retryDelay_ = kFirstRetry;
    retryLater();
}

void VmacBus::Connection::teardown(bool notify) {
    if (attachment_) {
        attachment_->detach();
        attachment_.reset();
    }
    for (auto& [id, subscription] : subscriptions_) {
        subscription->slot.reset();
    }
    for (auto& [id, claim] : claims_) {
        claim->slot.reset();
        if (notify) {
            answerClaim(*claim, NameClaim::Unavailable);
        }
    }
    for (auto& [id, call] : calls_) {
        call->slot.reset();
        if (notify) {
            post([this, id = id] { finishCall(id, nullptr); });
        }
    }
    bus_.reset();
}

// notify_post has handed its message over when it returns; a process that
// posts and exits at once relies on that. So what is still queued goes out
// before closing, for a bounded time.
void VmacBus::Connection::drain() {
    if (!bus_) {
        return;
    }
    if (attachment_) {
        attachment_->detach();
    }
    const auto deadline = std::chrono::steady_clock::now() + kDrainLimit;
    for (;;) {
        std::uint64_t queued = 0;
        if (sd_bus_get_n_queued_write(bus_.get(), &queued) < 0 || queued == 0) {
            return;
        }
        const int r = sd_bus_process(bus_.get(), nullptr);
        if (r < 0) {
            return;
        }
        if (r > 0) {
            continue;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::microseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            logger_.error("message bus closed with %lu messages unsent", queued);
            return;
        }
        (void)sd_bus_wait(bus_.get(), static_cast<std::uint64_t>(left.count()));
    }
}

void VmacBus::Connection::scheduleKick() {
    if (kickPosted_) {
        return;
    }
    kickPosted_ = true;
    post([this] {
        kickPosted_ = false;
        if (attachment_) {
            attachment_->kick();
        }
    });
}

void VmacBus::Connection::cancel(std::uint64_t id) {
    waiters_.erase(id);
    subscriptions_.erase(id);
    claims_.erase(id);
    calls_.erase(id);
}

Cancellable VmacBus::Connection::whenConnected(std::function<void()> ready) {
    const auto id = nextId_++;
    waiters_.emplace(id, std::move(ready));
    if (bus_) {
        post([this, id] { runWaiter(id); });
    }
    return Cancellable(weak_from_this(), id);
}

void VmacBus::Connection::runWaiter(std::uint64_t id) {
    const auto found = waiters_.find(id);
    if (found == waiters_.end()) {
        return;  // withdrawn, or already run
    }
    auto ready = std::move(found->second);
    waiters_.erase(found);
    ready();
}

bool VmacBus::Connection::emit(const BusSignalName& signal, const Append& append) {
    if (!bus_) {
        logger_.info("no message bus; dropped %{public}s.%{public}s", signal.interface, signal.member);
        return false;
    }
    sd_bus_message* raw = nullptr;
    int r = sd_bus_message_new_signal(bus_.get(), &raw, signal.path, signal.interface, signal.member);
    const SdBusMessagePtr message(raw);
    if (r >= 0 && append) {
        r = append(message.get());
    }
    if (r >= 0) {
        r = sd_bus_send(bus_.get(), message.get(), nullptr);
    }
    if (r < 0) {
        logger_.error("cannot send %{public}s.%{public}s: %{public}s", signal.interface, signal.member,
                      std::strerror(-r));
        return false;
    }
    scheduleKick();
    return true;
}

Cancellable VmacBus::Connection::subscribe(std::string rule, Handler handler) {
    const auto id = nextId_++;
    auto subscription = std::make_unique<Subscription>();
    subscription->owner = this;
    subscription->id = id;
    subscription->rule = std::move(rule);
    subscription->handler = std::make_shared<Handler>(std::move(handler));
    if (bus_) {
        addMatch(*subscription);
        scheduleKick();
    }
    subscriptions_.emplace(id, std::move(subscription));
    return Cancellable(weak_from_this(), id);
}

void VmacBus::Connection::addMatch(Subscription& subscription) {
    sd_bus_slot* slot = nullptr;
    const int r =
        sd_bus_add_match_async(bus_.get(), &slot, subscription.rule.c_str(), onSignal, onMatchInstalled, &subscription);
    subscription.slot.reset(slot);
    if (r < 0) {
        logger_.error("cannot subscribe to %{public}s: %{public}s", subscription.rule, std::strerror(-r));
    }
}

int VmacBus::Connection::onSignal(sd_bus_message* message, void* userdata, sd_bus_error* /*error*/) {
    auto* subscription = static_cast<Subscription*>(userdata);
    std::shared_ptr<sd_bus_message> held(sd_bus_message_ref(message), sd_bus_message_unref);
    subscription->owner->post([handler = std::weak_ptr<Handler>(subscription->handler), held] {
        if (auto run = handler.lock()) {
            sd_bus_message_rewind(held.get(), 1);
            (*run)(held.get());
        }
    });
    return 0;
}

int VmacBus::Connection::onMatchInstalled(sd_bus_message* message, void* userdata, sd_bus_error* /*error*/) {
    if (!isReply(message)) {
        const auto* subscription = static_cast<Subscription*>(userdata);
        const sd_bus_error* failure = sd_bus_message_get_error(message);
        subscription->owner->logger_.error("the bus refused %{public}s: %{public}s", subscription->rule,
                                           failure != nullptr && failure->message != nullptr ? failure->message : "");
    }
    return 0;
}

Cancellable VmacBus::Connection::claimName(std::string name, std::function<void(NameClaim)> done) {
    const auto id = nextId_++;
    auto claim = std::make_unique<Claim>();
    claim->owner = this;
    claim->id = id;
    claim->name = std::move(name);
    claim->done = std::move(done);
    if (bus_) {
        requestName(*claim);
        scheduleKick();
    } else {
        answerClaim(*claim, NameClaim::Unavailable);
    }
    claims_.emplace(id, std::move(claim));
    return Cancellable(weak_from_this(), id);
}

void VmacBus::Connection::requestName(Claim& claim) {
    sd_bus_slot* slot = nullptr;
    const int r = sd_bus_request_name_async(bus_.get(), &slot, claim.name.c_str(), 0, onClaimReply, &claim);
    claim.slot.reset(slot);
    if (r < 0) {
        logger_.error("cannot claim %{public}s: %{public}s", claim.name, std::strerror(-r));
        answerClaim(claim, NameClaim::Unavailable);
    }
}

int VmacBus::Connection::onClaimReply(sd_bus_message* message, void* userdata, sd_bus_error* /*error*/) {
    auto* claim = static_cast<Claim*>(userdata);
    // RequestName answers 1 primary owner, 2 queued, 3 exists, 4 already owner.
    std::uint32_t answer = 0;
    if (isReply(message) && sd_bus_message_read(message, "u", &answer) >= 0 && (answer == 1 || answer == 4)) {
        claim->owner->answerClaim(*claim, NameClaim::Owned);
    } else if (answer == 3) {
        claim->owner->logger_.notice("%{public}s is owned by another process", claim->name);
        claim->owner->answerClaim(*claim, NameClaim::TakenByAnother);
    } else {
        claim->owner->logger_.error("the bus refused the name %{public}s", claim->name);
        claim->owner->answerClaim(*claim, NameClaim::Unavailable);
    }
    return 0;
}

void VmacBus::Connection::answerClaim(Claim& claim, NameClaim answer) {
    // Looked up again when it runs: a claim withdrawn meanwhile hears nothing.
    post([this, id = claim.id, answer] {
        const auto found = claims_.find(id);
        if (found != claims_.end() && found->second->done) {
            auto done = std::move(found->second->done);
            found->second->done = nullptr;
            done(answer);
        }
    });
}

Cancellable VmacBus::Connection::call(const char* member, const std::string& argument,
                                      std::function<void(sd_bus_message*)> reply) {
    const auto id = nextId_++;
    auto call = std::make_unique<Call>();
    call->owner = this;
    call->id = id;
    call->reply = std::move(reply);
    if (!bus_) {
        calls_.emplace(id, std::move(call));
        post([this, id] { finishCall(id, nullptr); });
        return Cancellable(weak_from_this(), id);
    }
    sd_bus_slot* slot = nullptr;
    const int r = argument.empty() ? sd_bus_call_method_async(bus_.get(), &slot, kDaemon, kDaemonPath, kDaemon, member,
                                                              onCallReply, call.get(), nullptr)
                                   : sd_bus_call_method_async(bus_.get(), &slot, kDaemon, kDaemonPath, kDaemon, member,
                                                              onCallReply, call.get(), "s", argument.c_str());
    call->slot.reset(slot);
    calls_.emplace(id, std::move(call));
    if (r < 0) {
        logger_.error("cannot call %{public}s: %{public}s", member, std::strerror(-r));
        post([this, id] { finishCall(id, nullptr); });
    } else {
        scheduleKick();
    }
    return Cancellable(weak_from_this(), id);
}

int VmacBus::Connection::onCallReply(sd_bus_message* message, void* userdata, sd_bus_error* /*error*/) {
    const auto* call = static_cast<Call*>(userdata);
    std::shared_ptr<sd_bus_message> held(sd_bus_message_ref(message), sd_bus_message_unref);
    call->owner->post([owner = call->owner, id = call->id, held] { owner->finishCall(id, held); });
    return 0;
}

void VmacBus::Connection::finishCall(std::uint64_t id, std::shared_ptr<sd_bus_message> reply) {
    const auto found = calls_.find(id);
    if (found == calls_.end()) {
        return;  // withdrawn, or already answered
    }
    auto entry = std::move(found->second);
    calls_.erase(found);
    entry->reply(reply.get());
}

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
    return connection_->subscribe(matchRule(signal, arg0), std::move(handler));
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

Cancellable VmacBus::settle(std::function<void(bool)> done) {
    auto shared = std::make_shared<std::function<void(bool)>>(std::move(done));
    return connection_->call("GetId", {}, [shared](sd_bus_message* reply) { (*shared)(isReply(reply)); });
}

std::string busNameForBundleIdentifier(std::string_view bundleIdentifier) {
    std::string name = "vmac.app";
    std::string element;
    auto flush = [&] {
        if (element.empty() || std::isdigit(static_cast<unsigned char>(element.front())) != 0) {
            element.insert(element.begin(), '_');
        }
        name += '.';
        name += element;
        element.clear();
    };
    for (const char c : bundleIdentifier) {
        if (c == '.') {
            flush();
        } else if (std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_' || c == '-') {
            element += c;
        } else {
            element += '_';
        }
    }
    flush();
    return name;
}

}  // namespace lidora::vmac
