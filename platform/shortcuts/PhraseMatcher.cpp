#include "platform/shortcuts/PhraseMatcher.h"

#include <vector>

#include "core/text/Characters.h"
#include "core/text/UnicodeText.h"

namespace lidora::vmac {

namespace {

// Upper-cased, blanks run together, a closing mark dropped.
std::string normalized(std::string_view text) {
    std::string trimmed = trimmingWhitespaceAndNewlines(decodingUtf8Lossily(text));
    while (!trimmed.empty() && (trimmed.back() == '.' || trimmed.back() == '!' || trimmed.back() == '?')) {
        trimmed.pop_back();
    }
    std::string out;
    bool blank = false;
    for (const auto& character : characters(uppercased(trimmed))) {
        if (isWhitespace(character)) {
            blank = true;
            continue;
        }
        if (blank && !out.empty()) {
            out += ' ';
        }
        blank = false;
        out += character;
    }
    return out;
}

// A phrase split into literal text and ${names}.
struct Piece {
    std::string text;
    bool token = false;
};

std::vector<Piece> pieces(std::string_view phrase) {
    std::vector<Piece> out;
    std::size_t at = 0;
    while (at < phrase.size()) {
        const auto open = phrase.find("${", at);
        const auto close = open == std::string_view::npos ? open : phrase.find('}', open);
        if (close == std::string_view::npos) {
            out.push_back({uppercased(phrase.substr(at)), false});
            break;
        }
        if (open > at) {
            out.push_back({uppercased(phrase.substr(at, open - at)), false});
        }
        out.push_back({std::string(phrase.substr(open + 2, close - open - 2)), true});
        at = close + 1;
    }
    return out;
}

struct Candidate {
    std::string spoken;
    std::string raw;
};

class Matcher {
public:
    Matcher(const ShortcutsApp& app, const CatalogAction& action) : app_(app), action_(action) {}

    std::optional<ActionArguments> match(const std::vector<Piece>& pieces, std::string_view spoken) {
        ActionArguments arguments;
        if (matchFrom(pieces, 0, spoken, arguments)) {
            return arguments;
        }
        return std::nullopt;
    }

private:
    std::vector<Candidate> candidates(const std::string& token) const {
        if (token == "applicationName") {
            return {{uppercased(app_.name), {}}};
        }
        std::vector<Candidate> out;
        for (const auto& parameter : action_.parameters) {
            const auto* appEnum = parameter.name == token && parameter.type == "enum"
                                      ? app_.catalog.enumeration(parameter.enumIdentifier)
                                      : nullptr;
            if (appEnum == nullptr) {
                continue;
            }
            for (const auto& c : appEnum->cases) {
                out.push_back({uppercased(c.title), c.rawValue});
                for (const auto& synonym : c.synonyms) {
                    out.push_back({uppercased(synonym), c.rawValue});
                }
            }
        }
        return out;
    }

    bool matchFrom(const std::vector<Piece>& pieces, std::size_t index, std::string_view rest,
                   ActionArguments& arguments) const {
        if (index == pieces.size()) {
            return rest.empty();
        }
        const Piece& piece = pieces[index];
        if (!piece.token) {
            return rest.starts_with(piece.text) &&
                   matchFrom(pieces, index + 1, rest.substr(piece.text.size()), arguments);
        }
        for (const auto& candidate : candidates(piece.text)) {
            if (!candidate.spoken.empty() && rest.starts_with(candidate.spoken) &&
                matchFrom(pieces, index + 1, rest.substr(candidate.spoken.size()), arguments)) {
                if (piece.text != "applicationName") {
                    arguments.insert_or_assign(piece.text, ArgumentValue(candidate.raw));
                }
                return true;
            }
        }
        return false;
    }

    const ShortcutsApp& app_;
    const CatalogAction& action_;
};

}  // namespace

std::optional<PhraseMatch> matchPhrase(std::span<const ShortcutsApp> apps, std::string_view spoken) {
    const std::string heard = normalized(spoken);
    for (const auto& app : apps) {
        for (const auto& shortcut : app.catalog.shortcuts) {
            const auto* action = app.catalog.actionByIdentifier(shortcut.action);
            if (action == nullptr) {
                continue;
            }
            for (const auto& phrase : shortcut.phrases) {
                // Literal pieces are normalised like what was heard, blanks included.
                auto split = pieces(phrase);
                for (auto& piece : split) {
                    if (!piece.token) {
                        const bool leading = piece.text.starts_with(' ');
                        const bool trailing = piece.text.ends_with(' ') && piece.text.size() > 1;
                        piece.text = (leading ? " " : "") + normalized(piece.text) + (trailing ? " " : "");
                    }
                }
                if (auto arguments = Matcher(app, *action).match(split, heard)) {
                    return PhraseMatch{&app, action, std::move(*arguments)};
                }
            }
        }
    }
    return std::nullopt;
}

}  // namespace lidora::vmac
