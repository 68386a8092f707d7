#include "platform/pasteboard/VirtualPasteboard.h"

#include <nlohmann/json.hpp>

#include "core/text/UnicodeText.h"

namespace lidora::vmac {

namespace {

constexpr const char* kChangeCount = "changeCount";
// The type NSPasteboard.PasteboardType.string names.
constexpr const char* kPlainText = "public.utf8-plain-text";

}  // namespace

bool isPasteboardText(const std::string& text) {
    return decodingUtf8Lossily(text) == text;
}

std::string encodePasteboard(const PasteboardContents& contents) {
    nlohmann::json json{{kChangeCount, contents.changeCount}};
    if (contents.text) {
        json[kPlainText] = *contents.text;
    }
    return json.dump(2) + "\n";
}

Expected<PasteboardContents, std::string> decodePasteboard(std::string_view bytes) {
    const auto json = nlohmann::json::parse(bytes, nullptr, false);
    if (!json.is_object()) {
        return unexpected(std::string("not a JSON object"));
    }
    const auto count = json.find(kChangeCount);
    if (count == json.end() || !count->is_number_unsigned()) {
        return unexpected(std::string("no change count"));
    }
    PasteboardContents contents{count->get<std::uint64_t>(), std::nullopt};
    if (const auto text = json.find(kPlainText); text != json.end()) {
        if (!text->is_string()) {
            return unexpected(std::string("its text is not a string"));
        }
        contents.text = text->get<std::string>();
    }
    return contents;
}

VirtualPasteboard::VirtualPasteboard(std::filesystem::path home, std::unique_ptr<DesktopClipboard> desktop)
    : record_(home / "Library" / "Pasteboard" / "general.json", decodePasteboard, encodePasteboard, 0600, {},
              Durability::unflushed),
      desktop_(std::move(desktop)) {}

std::unique_ptr<VirtualPasteboard> VirtualPasteboard::forCurrentUser(const VmacPaths& paths) {
    return std::make_unique<VirtualPasteboard>(paths.homeOfCurrentUser(),
                                               desktopClipboardFor(DesktopSession::fromEnvironment()));
}

void VirtualPasteboard::clearContents() {
    problem_.clear();
    ownedChange_.reset();
    std::uint64_t change = 0;
    const auto cleared = record_.update([&](PasteboardContents& contents) {
        change = contents.changeCount + 1;
        contents = PasteboardContents{change, std::nullopt};
        return true;
    });
    if (!cleared) {
        problem_ = "the pasteboard could not be cleared: " + cleared.error();
        return;
    }
    ownedChange_ = change;
    if (desktop_) {
        if (auto followed = desktop_->clear(); !followed) {
            problem_ = followed.error();
        }
    }
}

bool VirtualPasteboard::setString(const std::string& text) {
    problem_.clear();
    if (!isPasteboardText(text)) {
        problem_ = "the text is not valid UTF-8";
        return false;
    }
    if (!ownedChange_) {
        problem_ = "the pasteboard was not cleared first";
        return false;
    }
    bool owner = false;
    const auto set = record_.update([&](PasteboardContents& contents) {
        owner = contents.changeCount == *ownedChange_;
        if (!owner) {
            return false;
        }
        contents.text = text;
        return true;
    });
    if (!set) {
        problem_ = "the text could not be put on the pasteboard: " + set.error();
        return false;
    }
    if (!owner) {
        problem_ = "another process cleared the pasteboard since";
        ownedChange_.reset();
        return false;
    }
    if (desktop_) {
        if (auto followed = desktop_->put(text); !followed) {
            problem_ = followed.error();
        }
    }
    return true;
}

std::optional<std::string> VirtualPasteboard::string() const {
    auto contents = record_.read();
    if (!contents) {
        return std::nullopt;
    }
    return std::move(contents->text);
}

}  // namespace lidora::vmac
