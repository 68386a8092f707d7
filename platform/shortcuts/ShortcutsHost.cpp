#include "platform/shortcuts/ShortcutsHost.h"

#include <unistd.h>

#include "core/runtime/Spawn.h"
#include "platform/shortcuts/ShortcutsWire.h"

namespace lidora::vmac {

namespace {

constexpr const char* kRefused = "com.zelquin.vmac.Shortcuts.Refused";

}  // namespace

struct ShortcutsHost::State {
    RunLoop& loop;
    VmacBus& bus;
    Runner run;
    Logger log;
    int inFlight = 0;
    std::uint64_t nextCheck = 0;
    std::map<std::uint64_t, Cancellable> checks;
};

namespace {

Task<void> perform(std::weak_ptr<ShortcutsHost::State> weak, std::shared_ptr<sd_bus_message> call, RunRequest request) {
    auto run = [&] {
        auto state = weak.lock();
        return state ? state->run : ShortcutsHost::Runner();
    }();
    if (!run) {
        co_return;
    }
    const ActionResult result = co_await run(std::move(request.identifier), std::move(request.arguments));
    if (auto state = weak.lock()) {
        --state->inFlight;
        state->bus.reply(call.get(), [&](sd_bus_message* m) { return appendRunReply(m, result); });
    }
}

void admit(const std::shared_ptr<ShortcutsHost::State>& state, std::shared_ptr<sd_bus_message> call) {
    auto request = readRunRequest(call.get());
    if (!request) {
        state->bus.replyError(call.get(), SD_BUS_ERROR_INVALID_ARGS, request.error());
        return;
    }
    if (state->inFlight >= ShortcutsHost::kMostInFlight) {
        state->bus.replyError(call.get(), kRefused, "too many actions at once; try again in a moment");
        return;
    }
    ++state->inFlight;
    spawn(state->loop, perform(state, std::move(call), std::move(*request)));
}

}  // namespace

ShortcutsHost::ShortcutsHost(RunLoop& loop, VmacBus& bus, Runner run, Logger log)
    : state_(std::make_shared<State>(State{loop, bus, std::move(run), std::move(log), 0, 0, {}})) {
    serving_ = bus.serveObject(kShortcutsPath, [weak = std::weak_ptr<State>(state_)](sd_bus_message* message) {
        auto state = weak.lock();
        const char* sender = sd_bus_message_get_sender(message);
        if (!state || sender == nullptr) {
            return;
        }
        if (sd_bus_message_is_method_call(message, kShortcutsInterface, kRunActionMember) <= 0) {
            state->bus.replyError(message, SD_BUS_ERROR_UNKNOWN_METHOD, "no such method");
            return;
        }
        std::shared_ptr<sd_bus_message> call(sd_bus_message_ref(message), sd_bus_message_unref);
        // Every user shares the bus; only our own may run our actions.
        const auto id = state->nextCheck++;
        state->checks.emplace(id, state->bus.queryNameOwnerUid(sender, [weak, id, call](std::optional<uid_t> uid) {
            auto state = weak.lock();
            if (!state) {
                return;
            }
            state->checks.erase(id);
            if (!uid || (*uid != ::geteuid() && *uid != 0)) {
                state->log.error("refused a Shortcuts request from user %{public}ld",
                                 uid ? static_cast<long>(*uid) : -1L);
                state->bus.replyError(call.get(), SD_BUS_ERROR_ACCESS_DENIED,
                                      "only the app's own user may run its actions");
                return;
            }
            admit(state, call);
        }));
    });
}

ShortcutsHost::~ShortcutsHost() = default;

}  // namespace lidora::vmac
