#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "core/light/LightController.h"
#include "core/message/MessageModel.h"
#include "core/message/MessageSending.h"
#include "core/ports/RunLoop.h"
#include "core/ports/UserDefaults.h"
#include "core/runtime/OwnedPosts.h"

namespace lidora {

// What the message window draws; the presenter tells it.
class MessageDisplay {
public:
    virtual ~MessageDisplay() = default;
    virtual void render(const MessageViewState& state) = 0;
    // Hides the window; it stays for the next time.
    virtual void dismiss() = 0;
};

// What the message window reads and acts through. All of it outlives the
// presenter.
struct MessageParts {
    RunLoop& loop;
    MessageSending& sending;
    LightController& controller;
    UserDefaultsProvider& defaults;
};

// The message window's logic: the typed text and its limit, the settings,
// the message on the lid, and Send, Cancel and Stop. Use on the run loop.
class MessagePresenter {
public:
    explicit MessagePresenter(MessageParts parts);
    MessagePresenter(const MessagePresenter&) = delete;
    MessagePresenter& operator=(const MessagePresenter&) = delete;

    // The display shown now, or none.
    void attach(MessageDisplay* display);
    // Each time the window is shown: the registration may have changed.
    void appeared();

    // The field's whole new text; cut back to the limit.
    void textEdited(std::string_view text);
    void speedChosen(MessageSettings::Speed speed);
    void markersChosen(bool markers);
    // Return or the Send button.
    void send();
    void cancel();
    void stop();
    // Stops a message on the lid, otherwise closes.
    void escape();

    [[nodiscard]] MessageViewState state() const;
    // Redraws the attached display from the current state.
    void update();

private:
    static Task<void> sendInBackground(MessagePresenter* self, std::weak_ptr<int> alive, std::string text,
                                       MorseCode::Timing timing, bool markers);
    void readSettings();

    MessageParts parts_;
    std::shared_ptr<UserDefaults> standard_;
    MessageDisplay* display_ = nullptr;
    std::string text_;
    MessageSettings::Speed speed_ = MessageSettings::Speed::normal;
    bool markers_ = true;
    bool sendInFlight_ = false;
    // The message on the lid, split once.
    std::shared_ptr<const SentMessage> sent_;
    std::optional<int> anchor_;
    // Preference changes come on any thread; redraws run on the loop.
    OwnedPosts posts_;
    Subscription defaults_;
    Subscription phase_;
    Subscription sendingText_;
    Subscription character_;
    Subscription bright_;
    Subscription problem_;
    // Tells a send still awaited that the presenter is gone.
    std::shared_ptr<int> lifetime_ = std::make_shared<int>(0);
};

}  // namespace lidora
