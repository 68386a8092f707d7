#include "platform/bus/BusConnection.h"

#include <cstring>

namespace lidora::vmac {

namespace {

using namespace std::chrono_literals;

constexpr auto kFirstRetry = 100ms;
constexpr auto kLastRetry = 5s;
constexpr std::uint64_t kCallTimeoutUs = 5'000'000;
constexpr auto kDrainLimit = 1s;

constexpr const char* kDaemon = "org.freedesktop.DBus";
constexpr const char* kDaemonPath = "/org/freedesktop/DBus";

bool isReply(sd_bus_message* message) {
    return message != nullptr && sd_bus_message_is_method_error(message, nullptr) == 0;
}

}  // namespace

VmacBus::Connection::Connection(RunLoop& loop, std::string address, Logger logger)
    : loop_(loop), address_(std::move(address)), logger_(std::move(logger)), retryDelay_(kFirstRetry) {}

VmacBus::Connection::~Connection() {
    drain();
    teardown(false);
}

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
    for (auto& [id, served] : exports_) {
        addObject(*served);
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
    for (auto& [id, served] : exports_) {
        served->slot.reset();
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
    std::uint64_t queued = 0;
    const auto sent = [&] { return sd_bus_get_n_queued_write(bus_.get(), &queued) < 0 || queued == 0; };
    if (!processUntil(sent, std::chrono::steady_clock::now() + kDrainLimit) && queued > 0) {
        logger_.error("message bus closed with %lu messages unsent", queued);
    }
}

// Runs the connection here rather than on the loop, for a bounded time. Its
// callbacks only post to the loop, so nothing re-enters the caller.
bool VmacBus::Connection::processUntil(const std::function<bool()>& done,
                                       std::chrono::steady_clock::time_point deadline) {
    for (;;) {
        if (done()) {
            return true;
        }
        const int r = sd_bus_process(bus_.get(), nullptr);
        if (r < 0) {
            return false;  // the loop's attachment hears of it too
        }
        if (r > 0) {
            continue;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::microseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return false;
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
    exports_.erase(id);
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

Cancellable VmacBus::Connection::subscribe(std::string rule, std::optional<std::string> arg0, Handler handler) {
    const auto id = nextId_++;
    auto subscription = std::make_unique<Subscription>();
    subscription->owner = this;
    subscription->id = id;
    subscription->rule = std::move(rule);
    subscription->arg0 = std::move(arg0);
    subscription->handler = std::make_shared<Handler>(std::move(handler));
    if (bus_) {
        // Never waits for the daemon's answer. Once the connection is set
        // up, sd-bus writes the rule to the socket before this returns, and
        // the daemon reads each connection in order and takes every ready
        // one on each turn of its loop; so a signal sent after this returns,
        // by this connection or by one that connects later (as a poster
        // does), is matched. Before that the rule goes out with the setup.
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
    if (subscription->arg0) {
        const char* first = nullptr;
        const bool matches = sd_bus_message_read(message, "s", &first) >= 0 && first == *subscription->arg0;
        sd_bus_message_rewind(message, 1);
        if (!matches) {
            return 0;
        }
    }
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

}  // namespace lidora::vmac
