#pragma once

#include <optional>
#include <string>

#include "core/runtime/Observable.h"

namespace lidora {

// What the message window shows about the message on the lid. Each property
// tells its subscribers only when it changes.
struct MorseMessageState {
    // The message being sent.
    Observable<std::optional<std::string>> text;
    // Position of the character whose bright step shows (as in
    // MorseCode::Step); absent between characters and when nothing is sent.
    Observable<std::optional<int>> character;
    Observable<bool> isBright{false};
    // The last reason a message was not sent.
    Observable<std::optional<std::string>> problem;
};

}  // namespace lidora
