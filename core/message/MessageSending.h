#pragma once

#include <string>

#include "core/morse/MorseCode.h"
#include "core/morse/MorseMessageState.h"
#include "core/runtime/Task.h"

namespace lidora {

// How the message window and the Shortcuts action reach the logo effects.
// Use on the run loop's thread.
class MessageSending {
public:
    virtual ~MessageSending() = default;
    // Sends a text once; true when sending has begun. Why it has not shows
    // in messageState().problem.
    virtual Task<bool> send(std::string text, MorseCode::Timing timing, bool markers) = 0;
    // Stops the message player on the lid, if there is one; the message
    // itself stays until endMessage().
    virtual void stopMessage() = 0;
    // Forgets the current message and gives the light back.
    virtual void endMessage() = 0;
    // The message on the lid, whoever sent it.
    virtual MorseMessageState& messageState() = 0;
};

}  // namespace lidora
