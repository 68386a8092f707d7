#include "platform/codesign/PeerImage.h"

#include <sys/stat.h>

#include <optional>

namespace lidora::vmac {

namespace {

constexpr std::size_t kMaxRememberedPeers = 1024;

// The stamp of the file process `pid` runs now.
std::optional<FileStamp> runningExecutable(pid_t pid) {
    struct stat info {};
    if (::stat(("/proc/" + std::to_string(pid) + "/exe").c_str(), &info) != 0) {
        return std::nullopt;
    }
    return fileStampOf(info);
}

}  // namespace

// Why bytes already waiting on the socket are the signed image's: the client
// end is held by the connecting process on a close-on-exec descriptor, both
// before and after that process is seen running the signed executable. A
// descriptor with that flag cannot have survived an exec, so the image that
// holds it now opened it (or dup'ed it) after its last exec, and everything
// written on it since came from that image or from threads and children it
// made itself. A process that connects and then execs, leaving a child on
// the socket, no longer holds the end, or holds it without the flag.
Expected<SignatureRecord, std::string> PeerImage::verify(int socket, const ucred& peer) const {
    // The signature first: it is the cheapest, and turns away most strangers.
    auto before = store_->verifyProcess(peer.pid);
    if (!before) {
        return before;
    }
    const auto clientEnd = sockets_.clientEndOf(socket);
    if (!clientEnd) {
        return unexpected(clientEnd.error());
    }
    std::array<int, 2> likely{-1, -1};
    {
        const std::lock_guard guard(lastDescriptors_->mutex);
        if (const auto found = lastDescriptors_->byProcess.find(peer.pid); found != lastDescriptors_->byProcess.end()) {
            likely = found->second;
        }
    }
    const auto held = checkHeldSinceLastExec(peer.pid, *clientEnd, likely);
    if (!held) {
        return unexpected(held.error());
    }
    if (*held != likely[0]) {
        const std::lock_guard guard(lastDescriptors_->mutex);
        if (lastDescriptors_->byProcess.size() >= kMaxRememberedPeers) {
            lastDescriptors_->byProcess.clear();
        }
        lastDescriptors_->byProcess[peer.pid] = {*held, likely[0]};
    }
    if (auto clean = loadedCode_.check(peer.pid, before->stamp); !clean) {
        return unexpected(clean.error());
    }
    // Still the same image: nothing exec'd while we looked.
    if (runningExecutable(peer.pid) != before->stamp) {
        return unexpected("pid " + std::to_string(peer.pid) + " ran another program while it was being checked");
    }
    return before;
}

}  // namespace lidora::vmac
