#pragma once

#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/runtime/Expected.h"
#include "platform/codesign/CodeSignature.h"
#include "platform/codesign/SignatureDatabase.h"
#include "platform/vmac/VmacPaths.h"

namespace lidora::vmac {

// The virtual Mac's code signatures: a database of signed files, each known
// by its device, inode, size and modification and change times. A file
// edited, replaced or copied after signing no longer matches, so it is
// unsigned. Verifying never reads the executable, only stats it.
//
// The database counts only when it and its folder belong to the verifier or
// to root and nobody else may write them; otherwise nothing is signed.
// Movable, not copyable; safe to verify from several threads.
class SignatureStore {
public:
    explicit SignatureStore(std::filesystem::path database);
    // var/db/codesign/signatures.json under the virtual Mac's root.
    static SignatureStore forRoot(const VmacPaths& paths);
    SignatureStore(SignatureStore&& other) noexcept;
    SignatureStore& operator=(SignatureStore&& other) noexcept;
    ~SignatureStore();

    [[nodiscard]] const std::filesystem::path& database() const { return database_; }

    // Signs a file as it is now; an empty team signs ad-hoc. Replaces any
    // earlier signature of the same path or file.
    Expected<CodeSignature, std::string> sign(const std::filesystem::path& executable, std::string identifier,
                                              std::string team);
    Expected<void, std::string> remove(const std::filesystem::path& executable);

    // The record a file or a process's executable matches, or why none does.
    [[nodiscard]] Expected<SignatureRecord, std::string> verifyFile(const std::filesystem::path& file) const;
    [[nodiscard]] Expected<SignatureRecord, std::string> verifyProcess(pid_t pid) const;
    // The file behind an open descriptor: what was checked is what matches,
    // whatever its path now leads to.
    [[nodiscard]] Expected<SignatureRecord, std::string> verifyOpenFile(int fd) const;

    [[nodiscard]] std::optional<CodeSignature> signatureOfFile(const std::filesystem::path& file) const;
    [[nodiscard]] std::optional<CodeSignature> signatureOfProcess(pid_t pid) const;

    using Index = std::map<std::pair<std::uint64_t, std::uint64_t>, SignatureRecord>;

private:
    struct Cache;

    [[nodiscard]] Expected<std::shared_ptr<const Index>, std::string> trustedIndex() const;
    [[nodiscard]] Expected<SignatureRecord, std::string> lookUp(const FileStamp& stamp) const;
    using Change = std::function<Expected<void, std::string>(std::vector<SignatureRecord>&)>;
    Expected<void, std::string> update(const Change& change);

    std::filesystem::path database_;
    std::unique_ptr<Cache> cache_;
};

}  // namespace lidora::vmac
