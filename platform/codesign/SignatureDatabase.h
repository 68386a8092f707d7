#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/runtime/Expected.h"
#include "platform/codesign/CodeSignature.h"

namespace lidora::vmac {

// What tells one version of a file from any other without reading it. Any
// write, rename or chmod moves the change time, which nobody can set back.
struct FileStamp {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    std::int64_t modifiedNs = 0;
    std::int64_t changedNs = 0;
    friend bool operator==(const FileStamp&, const FileStamp&) = default;
};

FileStamp fileStampOf(const struct stat& info);

// One signed executable as the signature database keeps it.
struct SignatureRecord {
    std::string path;  // absolute, for people and for removal
    FileStamp stamp;
    CodeSignature signature;
    std::string sha256;  // of the contents when signed; shown, never checked
};

// Identifiers are reverse-DNS names; teams are letters and digits (empty for
// ad-hoc). Anything else is refused so that records stay plain.
Expected<void, std::string> checkIdentifier(std::string_view identifier);
Expected<void, std::string> checkTeam(std::string_view team);

// The database file's JSON. Decoding refuses anything malformed as a whole.
Expected<std::string, std::string> encodeSignatureRecords(const std::vector<SignatureRecord>& records);
Expected<std::vector<SignatureRecord>, std::string> decodeSignatureRecords(std::string_view text);

}  // namespace lidora::vmac
