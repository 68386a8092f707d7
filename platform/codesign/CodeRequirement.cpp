#include "platform/codesign/CodeRequirement.h"

#include <cctype>

#include "platform/prefs/ParseSupport.h"

namespace lidora::vmac {

namespace {

// Deeper nesting is refused, so hostile text cannot exhaust the stack.
constexpr int kMaxDepth = 32;
constexpr std::size_t kMaxLength = std::size_t{16} << 10;

struct Token {
    enum class Type { Word, String, Symbol, End } type = Type::End;
    std::string text;
    std::size_t offset = 0;
};

bool isWordCharacter(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '.' || c == '_' || c == '-';
}

std::string describe(const Token& token) {
    switch (token.type) {
        case Token::Type::End: return "the end of the requirement";
        case Token::Type::String: return "\"" + token.text + "\"";
        default: return "'" + token.text + "'";
    }
}

class Parser {
public:
    explicit Parser(std::string_view text) : text_(text) {}

    Expected<std::size_t, std::string> parse() {
        advance();
        const auto root = parseDisjunction(0);
        if (!error_ && current_.type != Token::Type::End) {
            failAtToken("expected 'and', 'or' or the end, found " + describe(current_));
        }
        if (error_) {
            return unexpected(*error_);
        }
        return root;
    }

    std::vector<CodeRequirement::Node> takeNodes() { return std::move(nodes_); }

private:
    using Kind = CodeRequirement::Kind;

    std::size_t add(Kind kind, std::string value = {}, std::vector<std::size_t> operands = {}) {
        nodes_.push_back(CodeRequirement::Node{kind, std::move(value), std::move(operands)});
        return nodes_.size() - 1;
    }

    void fail(std::size_t offset, std::string message) {
        if (!error_) {
            error_ = positionedError(text_, offset, message);
        }
    }
    void failAtToken(std::string message) { fail(current_.offset, std::move(message)); }

    [[nodiscard]] bool isWord(std::string_view word) const {
        return current_.type == Token::Type::Word && current_.text == word;
    }
    [[nodiscard]] bool isSymbol(std::string_view symbol) const {
        return current_.type == Token::Type::Symbol && current_.text == symbol;
    }

    // Consumes the expected word or symbol, or records an error.
    bool expect(Token::Type type, std::string_view text) {
        if (error_) {
            return false;
        }
        if (current_.type != type || current_.text != text) {
            failAtToken("expected '" + std::string(text) + "', found " + describe(current_));
            return false;
        }
        advance();
        return true;
    }

    std::optional<std::string> expectString(std::string_view after) {
        if (error_) {
            return std::nullopt;
        }
        if (current_.type != Token::Type::String) {
            failAtToken("expected a quoted string after " + std::string(after) + ", found " + describe(current_));
            return std::nullopt;
        }
        std::string value = std::move(current_.text);
        advance();
        return value;
    }

    std::size_t parseDisjunction(int depth) {
        std::vector<std::size_t> operands{parseConjunction(depth)};
        while (!error_ && isWord("or")) {
            advance();
            operands.push_back(parseConjunction(depth));
        }
        return operands.size() == 1 ? operands.front() : add(Kind::Any, {}, std::move(operands));
    }

    std::size_t parseConjunction(int depth) {
        std::vector<std::size_t> operands{parseUnary(depth)};
        while (!error_ && isWord("and")) {
            advance();
            operands.push_back(parseUnary(depth));
        }
        return operands.size() == 1 ? operands.front() : add(Kind::All, {}, std::move(operands));
    }

    std::size_t parseUnary(int depth) {
        if (error_) {
            return 0;
        }
        if (depth >= kMaxDepth) {
            failAtToken("the requirement nests deeper than " + std::to_string(kMaxDepth) + " levels");
            return 0;
        }
        if (isWord("not") || isSymbol("!")) {
            advance();
            const auto operand = parseUnary(depth + 1);
            return add(Kind::Not, {}, {operand});
        }
        if (isSymbol("(")) {
            advance();
            const auto inner = parseDisjunction(depth + 1);
            expect(Token::Type::Symbol, ")");
            return inner;
        }
        return parseClause();
    }

    std::size_t parseClause() {
        const Token start = current_;
        if (isWord("identifier")) {
            advance();
            if (isSymbol("=")) {
                advance();
            }
            auto identifier = expectString("identifier");
            return identifier ? add(Kind::Identifier, std::move(*identifier)) : 0;
        }
        if (isWord("anchor")) {
            advance();
            if (expect(Token::Type::Word, "apple") && expect(Token::Type::Word, "generic")) {
                return add(Kind::AppleGenericAnchor);
            }
            return 0;
        }
        if (isWord("certificate")) {
            advance();
            const bool shaped = expect(Token::Type::Word, "leaf") && expect(Token::Type::Symbol, "[") &&
                                expect(Token::Type::Word, "subject.OU") && expect(Token::Type::Symbol, "]") &&
                                expect(Token::Type::Symbol, "=");
            auto team = shaped ? expectString("certificate leaf[subject.OU] =") : std::nullopt;
            return team ? add(Kind::LeafTeam, std::move(*team)) : 0;
        }
        if (start.type == Token::Type::End) {
            failAtToken("the requirement ends where a clause should be");
        } else if (start.type == Token::Type::Word) {
            failAtToken("unknown clause " + describe(start));
        } else {
            failAtToken("expected a clause, found " + describe(start));
        }
        return 0;
    }

    void advance() {
        if (error_) {
            return;
        }
        while (pos_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[pos_])) != 0) {
            ++pos_;
        }
        current_ = Token{Token::Type::End, {}, pos_};
        if (pos_ >= text_.size()) {
            return;
        }
        const char c = text_[pos_];
        if (c == '"') {
            lexString();
        } else if (isWordCharacter(c)) {
            current_.type = Token::Type::Word;
            while (pos_ < text_.size() && isWordCharacter(text_[pos_])) {
                current_.text += text_[pos_++];
            }
        } else if (std::string_view("()[]=!").find(c) != std::string_view::npos) {
            current_.type = Token::Type::Symbol;
            current_.text = std::string(1, c);
            ++pos_;
        } else {
            fail(pos_, "unexpected character '" + std::string(1, c) + "'");
        }
    }

    // A backslash takes the next character literally, so \" and \\ work.
    void lexString() {
        current_.type = Token::Type::String;
        ++pos_;
        while (pos_ < text_.size()) {
            char c = text_[pos_];
            if (c == '"') {
                ++pos_;
                return;
            }
            if (c == '\\') {
                if (++pos_ >= text_.size()) {
                    break;
                }
                c = text_[pos_];
            }
            if (std::iscntrl(static_cast<unsigned char>(c)) != 0) {
                fail(pos_, "control character in a quoted string");
                return;
            }
            current_.text += c;
            ++pos_;
        }
        fail(current_.offset, "quoted string is not closed");
    }

    std::string_view text_;
    std::size_t pos_ = 0;
    Token current_;
    std::vector<CodeRequirement::Node> nodes_;
    std::optional<std::string> error_;
};

}  // namespace

Expected<CodeRequirement, std::string> CodeRequirement::parse(std::string_view text) {
    if (text.size() > kMaxLength) {
        return unexpected("the requirement is longer than " + std::to_string(kMaxLength) + " characters");
    }
    Parser parser(text);
    auto root = parser.parse();
    if (!root) {
        return unexpected(root.error());
    }
    return CodeRequirement(std::string(text), parser.takeNodes(), *root);
}

bool CodeRequirement::isSatisfiedBy(const std::optional<CodeSignature>& signature) const {
    return signature.has_value() && evaluate(root_, *signature);
}

bool CodeRequirement::evaluate(std::size_t index, const CodeSignature& signature) const {
    const Node& node = nodes_[index];
    switch (node.kind) {
        case Kind::Identifier: return signature.identifier == node.value;
        // Ad-hoc code has no certificate chain, so no anchor and no leaf.
        case Kind::AppleGenericAnchor: return !signature.isAdHoc();
        case Kind::LeafTeam: return !signature.isAdHoc() && signature.teamID == node.value;
        case Kind::Not: return !evaluate(node.operands.front(), signature);
        case Kind::All:
            for (const auto operand : node.operands) {
                if (!evaluate(operand, signature)) {
                    return false;
                }
            }
            return true;
        case Kind::Any:
            for (const auto operand : node.operands) {
                if (evaluate(operand, signature)) {
                    return true;
                }
            }
            return false;
    }
    return false;
}

}  // namespace lidora::vmac
