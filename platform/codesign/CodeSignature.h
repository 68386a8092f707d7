#pragma once

#include <string>

namespace lidora::vmac {

// What a signed executable says about itself. An empty team means an ad-hoc
// signature: it names the code but no certificate vouches for it.
struct CodeSignature {
    std::string identifier;
    std::string teamID;

    [[nodiscard]] bool isAdHoc() const { return teamID.empty(); }
    friend bool operator==(const CodeSignature&, const CodeSignature&) = default;
};

}  // namespace lidora::vmac
