#pragma once

#include <functional>
#include <initializer_list>

#include "core/ports/RunLoop.h"
#include "platform/vmac/AtomicFile.h"

namespace lidora::vmac {

// Delivers signals as run-loop events through a signalfd: the signals are
// blocked for the process and read from the descriptor, so no handler runs
// at an arbitrary moment.
class SignalSource {
public:
    static Expected<SignalSource, std::string> create(RunLoop& loop, std::initializer_list<int> signals,
                                                      std::function<void(int)> received);
    SignalSource(SignalSource&&) noexcept = default;
    SignalSource& operator=(SignalSource&&) noexcept = default;

private:
    SignalSource(FileDescriptor fd, std::function<void(int)> received)
        : fd_(std::move(fd)), received_(std::make_unique<std::function<void(int)>>(std::move(received))) {}

    FileDescriptor fd_;
    std::unique_ptr<std::function<void(int)>> received_;
    Cancellable watch_;
};

}  // namespace lidora::vmac
