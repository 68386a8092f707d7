#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "core/ports/Pasteboard.h"
#include "core/runtime/Expected.h"
#include "platform/pasteboard/DesktopClipboard.h"
#include "platform/prefs/RecordFile.h"
#include "platform/vmac/VmacPaths.h"

namespace lidora::vmac {

// What the general pasteboard holds: its change count, which each clear
// moves on, and the plain text put on since, if any.
struct PasteboardContents {
    std::uint64_t changeCount = 0;
    std::optional<std::string> text;
    friend bool operator==(const PasteboardContents&, const PasteboardContents&) = default;
};

std::string encodePasteboard(const PasteboardContents& contents);
// Whether `text` can go on it: a pasteboard string is Unicode, so UTF-8 only.
bool isPasteboardText(const std::string& text);
Expected<PasteboardContents, std::string> decodePasteboard(std::string_view bytes);

// The general pasteboard of one user of the virtual Mac, shared by all of the
// user's processes through <home>/Library/Pasteboard/general.json, replaced
// atomically under its lock (a damaged file reads as empty and is kept aside
// before it is written over). Like macOS's, it need not survive a power loss,
// so it is never flushed to disk.
//
// As on macOS, clearContents() makes this instance the owner, and setString()
// succeeds only while it still is: once another process cleared the
// pasteboard, a late setString() fails rather than mix its text into the
// other's. So concurrent writers never lose a clear, and the last to clear
// wins whole. With a desktop clipboard, what is cleared and put here is
// cleared and put there too (best effort: the Mac's own pasteboard is what
// counts and what string() reads, so two Macs on one desktop stay apart).
class VirtualPasteboard final : public Pasteboard {
public:
    explicit VirtualPasteboard(std::filesystem::path home, std::unique_ptr<DesktopClipboard> desktop = nullptr);
    // The current user's, mirrored to the desktop session's clipboard if there is one.
    static std::unique_ptr<VirtualPasteboard> forCurrentUser(const VmacPaths& paths);

    [[nodiscard]] const std::filesystem::path& file() const { return record_.file(); }

    void clearContents() override;
    // Text that is not isPasteboardText() is refused.
    [[nodiscard]] bool setString(const std::string& text) override;
    [[nodiscard]] std::optional<std::string> string() const override;

    // The whole record; an error only when the file cannot be read at all.
    [[nodiscard]] Expected<PasteboardContents, std::string> read() const { return record_.read(); }
    // Why the last clear or set failed, or why the desktop clipboard could
    // not follow; empty when all went well.
    [[nodiscard]] const std::string& lastProblem() const { return problem_; }

private:
    RecordFile<PasteboardContents> record_;
    std::unique_ptr<DesktopClipboard> desktop_;
    std::optional<std::uint64_t> ownedChange_;
    std::string problem_;
};

}  // namespace lidora::vmac
