#pragma once

#include <map>
#include <string>
#include <vector>

#include "core/shell/AppDelegate.h"

namespace lidora::testing {

struct FakeNotifications final : DarwinNotificationCenter {
    void post(std::string_view name) override { posted.emplace_back(name); }
    Cancellable observe(std::string_view name, std::function<void()> handler) override {
        handlers[std::string(name)] = std::move(handler);
        return {};
    }
    void deliver(std::string_view name) { handlers.at(std::string(name))(); }
    std::vector<std::string> posted;
    std::map<std::string, std::function<void()>> handlers;
};

struct FakeWorkspace final : Workspace {
    Cancellable observeDidWake(std::function<void()> handler) override {
        wake = std::move(handler);
        return {};
    }
    Cancellable observeScreensDidSleep(std::function<void()> handler) override {
        screensSleep = std::move(handler);
        return {};
    }
    Cancellable observeScreensDidWake(std::function<void()> handler) override {
        screensWake = std::move(handler);
        return {};
    }
    Cancellable observeReopen(std::function<void()> handler) override {
        reopen = std::move(handler);
        return {};
    }
    Cancellable observeActiveSpaceDidChange(std::function<void()> handler) override {
        spaceChange = std::move(handler);
        return {};
    }
    std::function<void()> wake;
    std::function<void()> spaceChange;
    std::function<void()> screensSleep;
    std::function<void()> screensWake;
    std::function<void()> reopen;
};

// Effects that do nothing and cannot send.
struct FakeEffects final : LogoEffects {
    void start() override { ++starts; }
    void update() override { ++updates; }
    void stopAll() override { ++stops; }
    Task<bool> send(std::string /*text*/, MorseCode::Timing /*timing*/, bool /*markers*/) override { co_return false; }
    void stopMessage() override {}
    void endMessage() override {}
    MorseMessageState& messageState() override { return state; }
    MorseMessageState state;
    int starts = 0;
    int updates = 0;
    int stops = 0;
};

struct FakeControls final : ControlCenter {
    void reloadControls(std::string_view kind) override { reloads.emplace_back(kind); }
    std::vector<std::string> reloads;
};

struct FakeHotKeyEvents final : HotKeyEventManager {
    std::int32_t installHotKeyPressedHandler(std::function<std::int32_t(EventHotKeyID)> handler) override {
        ++installs;
        if (installError != kNoErr) {
            return installError;
        }
        pressed = std::move(handler);
        return kNoErr;
    }
    Expected<EventHotKeyRef, std::int32_t> registerEventHotKey(std::uint32_t keyCode, std::uint32_t modifiers,
                                                               EventHotKeyID id) override {
        if (refuse) {
            return unexpected(kEventHotKeyExistsErr);
        }
        registered.push_back({keyCode, modifiers, id});
        return EventHotKeyRef{registered.size()};
    }
    // Presses the registered combination, as the event manager would.
    void press(std::uint32_t keyCode, std::uint32_t modifiers) {
        for (const auto& key : registered) {
            if (key.keyCode == keyCode && key.modifiers == modifiers) {
                pressed(key.id);
            }
        }
    }
    struct Registered {
        std::uint32_t keyCode;
        std::uint32_t modifiers;
        EventHotKeyID id;
    };
    std::vector<Registered> registered;
    std::function<std::int32_t(EventHotKeyID)> pressed;
    std::int32_t installError = kNoErr;
    bool refuse = false;
    int installs = 0;
};

struct FakeLoginItem final : MainAppLoginItem {
    HelperStatus status() const override { return current; }
    Expected<void, std::string> registerItem() override {
        if (refusal) {
            return unexpected(*refusal);
        }
        current = HelperStatus::enabled;
        return {};
    }
    Expected<void, std::string> unregisterItem() override {
        if (refusal) {
            return unexpected(*refusal);
        }
        current = HelperStatus::notRegistered;
        return {};
    }
    HelperStatus current = HelperStatus::notRegistered;
    // When set, the system refuses every change with this text.
    std::optional<std::string> refusal;
};

struct FakeShell final : ApplicationShell {
    void activate() override { ++activations; }
    void terminate() override { ++terminations; }
    void showAboutPanel(const AboutPanelOptions& options) override { about.push_back(options); }
    bool isActive() const override { return active; }
    int activations = 0;
    int terminations = 0;
    bool active = false;
    std::vector<AboutPanelOptions> about;
};

struct FakeWindow final : WindowHolder {
    void show() override { ++shown; }
    int shown = 0;
};

struct FakeUpdaterController final : StandardUpdaterController {
    void checkForUpdates() override { ++checks; }
    bool canCheckForUpdates() const override { return canCheck; }
    Cancellable observeCanCheckForUpdates(std::function<void()> handler, bool initial) override {
        observer = std::move(handler);
        if (initial) {
            observer();
        }
        return {};
    }
    bool automaticallyChecksForUpdates() const override { return automatic; }
    void setAutomaticallyChecksForUpdates(bool enabled) override { automatic = enabled; }
    void setCanCheck(bool value) {
        canCheck = value;
        observer();
    }
    int checks = 0;
    bool canCheck = true;
    bool automatic = true;
    std::function<void()> observer;
};

}  // namespace lidora::testing
