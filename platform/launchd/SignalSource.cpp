#include "platform/launchd/SignalSource.h"

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace lidora::vmac {

Expected<SignalSource, std::string> SignalSource::create(RunLoop& loop, std::initializer_list<int> signals,
                                                         std::function<void(int)> received) {
    sigset_t set;
    ::sigemptyset(&set);
    for (const int signal : signals) {
        ::sigaddset(&set, signal);
    }
    if (::sigprocmask(SIG_BLOCK, &set, nullptr) != 0) {
        return unexpected(std::string("cannot block signals: ") + std::strerror(errno));
    }
    FileDescriptor fd(::signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK));
    if (!fd.valid()) {
        return unexpected(std::string("cannot create a signalfd: ") + std::strerror(errno));
    }
    SignalSource source(std::move(fd), std::move(received));
    // The callback lives on the heap so the watch survives moves of the source.
    source.watch_ = loop.watch(source.fd_.get(), FdEvent::Readable,
                               [fd = source.fd_.get(), callback = source.received_.get()](unsigned) {
                                   signalfd_siginfo info{};
                                   while (::read(fd, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
                                       (*callback)(static_cast<int>(info.ssi_signo));
                                   }
                               });
    return source;
}

}  // namespace lidora::vmac
