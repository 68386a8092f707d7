#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/runtime/Expected.h"
#include "platform/codesign/CodeSignature.h"

namespace lidora::vmac {

// A code-signing requirement in the subset of macOS's language Lidora uses:
//   identifier "ID"   anchor apple generic   certificate leaf[subject.OU] = "TEAM"
// joined with `and`, `or`, `not` (or `!`) and parentheses; `and` binds tighter
// than `or`. Anything else is refused when parsing, so a requirement we do
// not understand never admits anyone.
class CodeRequirement {
public:
    static Expected<CodeRequirement, std::string> parse(std::string_view text);

    // Unsigned code satisfies no requirement, not even a negated one.
    [[nodiscard]] bool isSatisfiedBy(const std::optional<CodeSignature>& signature) const;

    // The requirement as it was written.
    [[nodiscard]] const std::string& text() const { return text_; }

    // The parsed form, a tree kept flat so that the requirement copies as a
    // value. `and` and `or` chains are one node each, which keeps evaluation
    // as shallow as the parentheses.
    enum class Kind { Identifier, AppleGenericAnchor, LeafTeam, Not, All, Any };
    struct Node {
        Kind kind;
        std::string value;                  // Identifier, LeafTeam
        std::vector<std::size_t> operands;  // Not, All, Any: indices into the nodes
    };

private:
    CodeRequirement(std::string text, std::vector<Node> nodes, std::size_t root)
        : text_(std::move(text)), nodes_(std::move(nodes)), root_(root) {}
    [[nodiscard]] bool evaluate(std::size_t node, const CodeSignature& signature) const;

    std::string text_;
    std::vector<Node> nodes_;
    std::size_t root_;
};

}  // namespace lidora::vmac
