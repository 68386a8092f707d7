#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "core/runtime/Expected.h"
#include "platform/codesign/SignatureDatabase.h"

namespace lidora::vmac {

// A file mapped executable into a process, as /proc/PID/maps names it.
struct CodeMapping {
    std::string path;
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    friend bool operator==(const CodeMapping&, const CodeMapping&) = default;
};

// The executable file mappings of a maps listing, each file once; anonymous
// memory and the kernel's own pages left out.
std::vector<CodeMapping> codeMappings(std::string_view maps);

// Whether a signed process runs only code that its signer or the system's
// administrators put there: no preloading environment, no tracer, and every
// file it maps executable is the signed program or owned by root (or by this
// process's user, who runs a virtual Mac of their own) in folders nobody else
// can change. Libraries in the app's own bundle are no exception: they carry
// no signature of their own, so whoever could write them could plant code. Trusted files are remembered by name and
// inode; safe to use from several threads.
class LoadedCodeCheck {
public:
    LoadedCodeCheck() = default;

    // `program`: the signed executable, vouched for by its signature.
    Expected<void, std::string> check(pid_t pid, const FileStamp& program) const;
    Expected<void, std::string> checkMappings(const std::vector<CodeMapping>& mappings, const FileStamp& program) const;

private:
    Expected<void, std::string> checkLoadedCode(pid_t pid, const FileStamp& program) const;
    Expected<void, std::string> checkFile(const CodeMapping& mapping) const;

    struct Cache {
        std::mutex mutex;
        std::unordered_set<std::string> trusted;     // name and inode of files found trustworthy
        std::unordered_set<std::string> cleanExecs;  // execInstanceOf() and program of clean processes
    };
    std::unique_ptr<Cache> cache_ = std::make_unique<Cache>();
};

// What tells one exec of process `pid` from any other: its start time and
// where address randomisation put its code, stack and heap, drawn afresh at
// each exec. Empty when that cannot be told (randomisation off for it or for the system, addresses
// hidden from us).
std::optional<std::string> execInstanceOf(pid_t pid);

}  // namespace lidora::vmac
