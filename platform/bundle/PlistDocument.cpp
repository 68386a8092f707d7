#include "platform/bundle/PlistDocument.h"

#include <cctype>

#include "platform/prefs/ParseSupport.h"
#include "platform/prefs/XmlPlist.h"

namespace lidora::vmac {

namespace {

class Prolog : private TextCursor {
public:
    explicit Prolog(std::string_view text) : TextCursor(text) {}

    // Offsets of what lies between <plist …> and </plist>.
    Expected<std::pair<std::size_t, std::size_t>, std::string> locateBody() {
        if (text_.substr(0, 3) == "\xEF\xBB\xBF") {
            pos_ = 3;
        }
        if (startsWith("<?xml")) {
            if (!skipPast("?>")) {
                return error("the XML declaration is not closed");
            }
        }
        if (!skipXmlMisc()) {
            return error("a comment is not closed");
        }
        if (startsWith("<!DOCTYPE")) {
            const auto end = text_.find('>', pos_);
            // An internal subset could declare entities; property lists never need one.
            if (end == std::string_view::npos || text_.substr(pos_, end - pos_).find('[') != std::string_view::npos) {
                return error("unsupported DOCTYPE");
            }
            pos_ = end + 1;
        }
        if (!skipXmlMisc()) {
            return error("a comment is not closed");
        }
        if (!startsWith("<plist") || pos_ + 6 >= text_.size() ||
            (std::string_view(">/").find(text_[pos_ + 6]) == std::string_view::npos &&
             std::isspace(static_cast<unsigned char>(text_[pos_ + 6])) == 0)) {
            return error("expected <plist>");
        }
        const auto open = text_.find('>', pos_);
        if (open == std::string_view::npos || text_[open - 1] == '/') {
            return error("the <plist> element is empty or not closed");
        }
        const auto body = open + 1;
        const auto close = text_.rfind("</plist>");
        if (close == std::string_view::npos || close < body) {
            return error("</plist> is missing");
        }
        pos_ = close + 8;
        if (!skipXmlMisc() || pos_ != text_.size()) {
            return error("unexpected text after </plist>");
        }
        return std::make_pair(body, close);
    }

private:
    Unexpected<std::string> error(std::string_view message) const {
        return unexpected(positionedError(text_, pos_, message));
    }
};

}  // namespace

Expected<PreferenceValue, std::string> parseXmlPlistDocument(std::string_view text) {
    const auto body = Prolog(text).locateBody();
    if (!body) {
        return unexpected(body.error());
    }
    // The element parser sees the body in place, everything else blanked,
    // so that its line and column numbers are the document's.
    std::string blanked(text);
    for (std::size_t i = 0; i < blanked.size(); ++i) {
        if ((i < body->first || i >= body->second) && blanked[i] != '\n') {
            blanked[i] = ' ';
        }
    }
    return parseXmlPlistFragment(blanked);
}

}  // namespace lidora::vmac
