#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "core/ports/SparkleUpdater.h"
#include "platform/sparkle/AppcastSource.h"
#include "platform/sparkle/UpdateDialog.h"
#include "tests/support/MemoryDefaults.h"

namespace lidora::testing {

using MemoryUserDefaults = MemoryDefaults;

// A feed whose text the test sets and whose changes it announces.
class FakeAppcastSource final : public vmac::AppcastSource {
public:
    struct State final : CancelTarget {
        void cancel(std::uint64_t) override { changed = nullptr; }
        Expected<std::string, std::string> text = std::string();
        std::function<void()> changed;
        int fetches = 0;
    };

    explicit FakeAppcastSource(std::shared_ptr<State> state) : state_(std::move(state)) {}

    Expected<std::string, std::string> fetch() override {
        ++state_->fetches;
        return state_->text;
    }
    Cancellable watchChanges(std::function<void()> changed) override {
        state_->changed = std::move(changed);
        return Cancellable(state_, 1);
    }
    [[nodiscard]] std::string address() const override { return "/Library/Updates/test/appcast.xml"; }

private:
    std::shared_ptr<State> state_;
};

// Records what would be on screen and answers for the user.
class FakeUpdateDialog final : public vmac::UpdateDialog {
public:
    enum class Shown { nothing, update, upToDate, error, installed };

    void showUpdateFound(const AppcastItem& update, const std::string&,
                         std::function<void(vmac::UpdateChoice)> answered) override {
        shown = Shown::update;
        item = update;
        answer = std::move(answered);
        ++windows;
    }
    void showUpToDate(const std::string&, std::function<void()> dismissed) override {
        show(Shown::upToDate, std::move(dismissed));
    }
    void showError(const std::string& message, std::function<void()> dismissed) override {
        errorText = message;
        show(Shown::error, std::move(dismissed));
    }
    void showInstalled(const AppcastItem&, std::function<void()> dismissed) override {
        show(Shown::installed, std::move(dismissed));
    }

    void choose(vmac::UpdateChoice choice) {
        shown = Shown::nothing;
        auto answered = std::move(answer);
        answered(choice);
    }
    void dismiss() {
        shown = Shown::nothing;
        auto dismissed = std::move(close);
        dismissed();
    }

    Shown shown = Shown::nothing;
    int windows = 0;
    AppcastItem item;
    std::string errorText;
    std::function<void(vmac::UpdateChoice)> answer;
    std::function<void()> close;

private:
    void show(Shown what, std::function<void()> dismissed) {
        shown = what;
        close = std::move(dismissed);
        ++windows;
    }
};

// The app's side: answers as the app's Updater does and records each call.
class FakeUserDriverDelegate final : public StandardUserDriverDelegate {
public:
    [[nodiscard]] bool supportsGentleScheduledUpdateReminders() const override { return true; }
    bool standardUserDriverShouldHandleShowingScheduledUpdate(const AppcastItem& update, bool immediateFocus) override {
        calls.push_back("shouldHandle " + update.displayVersionString + (immediateFocus ? " focus" : " background"));
        return immediateFocus;
    }
    void standardUserDriverWillHandleShowingUpdate(bool handle, const AppcastItem& update,
                                                   const UserUpdateState& state) override {
        calls.push_back(std::string("willHandle ") + (handle ? "shown " : "left ") + update.displayVersionString +
                        (state.userInitiated ? " user" : " scheduled"));
    }
    void standardUserDriverDidReceiveUserAttention(const AppcastItem& update) override {
        calls.push_back("attention " + update.displayVersionString);
    }
    void standardUserDriverWillFinishUpdateSession() override { calls.push_back("finish"); }

    std::vector<std::string> calls;
};

}  // namespace lidora::testing
