#include "core/message/MessagePresenter.h"

#include "core/runtime/Spawn.h"

namespace lidora {

MessagePresenter::MessagePresenter(MessageParts parts)
    : parts_(parts), standard_(parts_.defaults.standard()), posts_(parts_.loop) {
    readSettings();
    defaults_ = parts_.defaults.observeChanges([this] {
        posts_.post([this] {
            readSettings();
            update();
        });
    });
    phase_ = parts_.controller.subscribePhase([this](const Phase&) { update(); });
    auto& state = parts_.sending.messageState();
    if (const auto& text = state.text.get()) {
        sent_ = std::make_shared<const SentMessage>(*text);
    }
    sendingText_ = state.text.subscribe([this](const std::optional<std::string>& text) {
        sent_ = text ? std::make_shared<const SentMessage>(*text) : nullptr;
        anchor_.reset();
        update();
    });
    character_ = state.character.subscribe([this](const std::optional<int>& character) {
        if (character) {
            anchor_ = character;
        }
        update();
    });
    bright_ = state.isBright.subscribe([this](bool) { update(); });
    problem_ = state.problem.subscribe([this](const std::optional<std::string>&) { update(); });
}

void MessagePresenter::readSettings() {
    speed_ = MessageSettings::speed(*standard_);
    markers_ = MessageSettings::markers(*standard_);
}

void MessagePresenter::attach(MessageDisplay* display) {
    display_ = display;
    update();
}

void MessagePresenter::appeared() {
    readSettings();
    update();
}

MessageViewState MessagePresenter::state() const {
    const auto& message = parts_.sending.messageState();
    MessageInputs inputs;
    inputs.text = text_;
    inputs.speed = speed_;
    inputs.markers = markers_;
    inputs.sending = sent_;
    inputs.sendingCharacter = message.character.get();
    inputs.sendingAnchor = anchor_;
    inputs.isBright = message.isBright.get();
    inputs.problem = message.problem.get();
    inputs.blockingReason = parts_.controller.blockingMessage();
    inputs.sendInFlight = sendInFlight_;
    return messageViewState(inputs);
}

void MessagePresenter::update() {
    if (display_ != nullptr) {
        display_->render(state());
    }
}

void MessagePresenter::textEdited(std::string_view text) {
    text_ = limitedMessage(text);
    update();
}

void MessagePresenter::speedChosen(MessageSettings::Speed speed) {
    // Kept for this window even when the preference can't be written.
    speed_ = speed;
    (void)MessageSettings::setSpeed(*standard_, speed);
    update();
}

void MessagePresenter::markersChosen(bool markers) {
    markers_ = markers;
    (void)MessageSettings::setMarkers(*standard_, markers);
    update();
}

void MessagePresenter::send() {
    if (!state().sendEnabled) {
        return;
    }
    sendInFlight_ = true;
    update();
    spawn(parts_.loop, sendInBackground(this, lifetime_, text_, MessageSettings::timing(speed_), markers_));
}

Task<void> MessagePresenter::sendInBackground(MessagePresenter* self, std::weak_ptr<int> alive, std::string text,
                                              MorseCode::Timing timing, bool markers) {
    if (alive.expired()) {
        co_return;
    }
    // Failures show through the message state's problem.
    (void)co_await self->parts_.sending.send(std::move(text), timing, markers);
    if (!alive.expired()) {
        self->sendInFlight_ = false;
        self->update();
    }
}

void MessagePresenter::cancel() {
    if (display_ != nullptr) {
        display_->dismiss();
    }
}

void MessagePresenter::stop() {
    parts_.sending.stopMessage();
    parts_.sending.endMessage();
}

void MessagePresenter::escape() {
    if (parts_.sending.messageState().text.get()) {
        stop();
    } else {
        cancel();
    }
}

}  // namespace lidora
