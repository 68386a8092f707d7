#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/runtime/Expected.h"

namespace lidora::vmac {

// The clipboard of the desktop session the virtual Mac runs in, written to
// when the Mac's pasteboard changes.
class DesktopClipboard {
public:
    virtual ~DesktopClipboard() = default;

    virtual Expected<void, std::string> put(const std::string& text) = 0;
    virtual Expected<void, std::string> clear() = 0;
};

// What tells a desktop session and where its tools are: the environment's
// WAYLAND_DISPLAY, DISPLAY and PATH.
struct DesktopSession {
    std::string waylandDisplay;
    std::string display;
    std::string searchPath;

    static DesktopSession fromEnvironment();
};

// The desktop's clipboard through the first of wl-copy (Wayland), xclip and
// xsel (X11) that the session has and PATH holds; none without a session or
// a tool. Each use runs the tool, waits at most `limit` for it to hand the
// text to its own server process, and kills it past that.
std::unique_ptr<DesktopClipboard> desktopClipboardFor(const DesktopSession& session,
                                                      std::chrono::milliseconds limit = std::chrono::seconds(2));

}  // namespace lidora::vmac
