#include "platform/codesign/SignatureDatabase.h"

#include <algorithm>
#include <cctype>
#include <limits>
#include <nlohmann/json.hpp>
#include <optional>

namespace lidora::vmac {

namespace {

constexpr int kFormat = 1;
constexpr std::size_t kMaxIdentifierLength = 255;
constexpr std::size_t kMaxTeamLength = 64;

using Json = nlohmann::json;

std::optional<std::int64_t> signedField(const Json& object, const char* name) {
    const auto found = object.find(name);
    if (found == object.end() || !found->is_number_integer()) {
        return std::nullopt;
    }
    if (found->is_number_unsigned() && found->get<std::uint64_t>() > std::numeric_limits<std::int64_t>::max()) {
        return std::nullopt;
    }
    return found->get<std::int64_t>();
}

std::optional<std::uint64_t> unsignedField(const Json& object, const char* name) {
    const auto found = object.find(name);
    if (found == object.end() || !found->is_number_unsigned()) {
        return std::nullopt;
    }
    return found->get<std::uint64_t>();
}

std::optional<std::string> stringField(const Json& object, const char* name) {
    const auto found = object.find(name);
    if (found == object.end() || !found->is_string()) {
        return std::nullopt;
    }
    return found->get<std::string>();
}

Expected<SignatureRecord, std::string> decodeRecord(const Json& entry) {
    if (!entry.is_object()) {
        return unexpected(std::string("a signature is not an object"));
    }
    auto path = stringField(entry, "path");
    auto identifier = stringField(entry, "identifier");
    auto team = stringField(entry, "team");
    auto sha256 = stringField(entry, "sha256");
    const auto device = unsignedField(entry, "device");
    const auto inode = unsignedField(entry, "inode");
    const auto size = signedField(entry, "size");
    const auto modified = signedField(entry, "mtimeNs");
    const auto changed = signedField(entry, "ctimeNs");
    if (!path || !identifier || !team || !sha256 || !device || !inode || !size || !modified || !changed) {
        return unexpected(std::string("a signature lacks a field or has one of the wrong type"));
    }
    if (path->empty() || path->front() != '/') {
        return unexpected("the signature of \"" + *path + "\" has no absolute path");
    }
    if (auto valid = checkIdentifier(*identifier); !valid) {
        return unexpected(valid.error());
    }
    if (auto valid = checkTeam(*team); !valid) {
        return unexpected(valid.error());
    }
    return SignatureRecord{std::move(*path), FileStamp{*device, *inode, *size, *modified, *changed},
                           CodeSignature{std::move(*identifier), std::move(*team)}, std::move(*sha256)};
}

}  // namespace

FileStamp fileStampOf(const struct stat& info) {
    constexpr std::int64_t kNs = 1'000'000'000;
    return FileStamp{static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino),
                     static_cast<std::int64_t>(info.st_size),
                     static_cast<std::int64_t>(info.st_mtim.tv_sec) * kNs + info.st_mtim.tv_nsec,
                     static_cast<std::int64_t>(info.st_ctim.tv_sec) * kNs + info.st_ctim.tv_nsec};
}

Expected<void, std::string> checkIdentifier(std::string_view identifier) {
    const bool plain = std::all_of(identifier.begin(), identifier.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '.' || c == '-' || c == '_';
    });
    if (identifier.empty() || identifier.size() > kMaxIdentifierLength || !plain) {
        return unexpected("\"" + std::string(identifier) +
                          "\" is not a valid identifier (letters, digits, '.', '-' and '_', at most 255)");
    }
    return {};
}

Expected<void, std::string> checkTeam(std::string_view team) {
    const bool plain =
        std::all_of(team.begin(), team.end(), [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; });
    if (team.size() > kMaxTeamLength || !plain) {
        return unexpected("\"" + std::string(team) + "\" is not a valid team identifier (letters and digits)");
    }
    return {};
}

Expected<std::string, std::string> encodeSignatureRecords(const std::vector<SignatureRecord>& records) {
    Json signatures = Json::array();
    for (const auto& record : records) {
        signatures.push_back({{"path", record.path},
                              {"device", record.stamp.device},
                              {"inode", record.stamp.inode},
                              {"size", record.stamp.size},
                              {"mtimeNs", record.stamp.modifiedNs},
                              {"ctimeNs", record.stamp.changedNs},
                              {"identifier", record.signature.identifier},
                              {"team", record.signature.teamID},
                              {"sha256", record.sha256}});
    }
    const Json document = {{"format", kFormat}, {"signatures", std::move(signatures)}};
    try {
        return document.dump(2) + "\n";
    } catch (const Json::type_error&) {
        // Only names that are not UTF-8 get here; JSON cannot hold them.
        return unexpected(std::string("a path is not valid UTF-8"));
    }
}

Expected<std::vector<SignatureRecord>, std::string> decodeSignatureRecords(std::string_view text) {
    const Json document = Json::parse(text.begin(), text.end(), nullptr, false);
    if (document.is_discarded() || !document.is_object()) {
        return unexpected(std::string("not a JSON object"));
    }
    const auto format = document.find("format");
    if (format == document.end() || *format != kFormat) {
        return unexpected(std::string("unknown format"));
    }
    const auto signatures = document.find("signatures");
    if (signatures == document.end() || !signatures->is_array()) {
        return unexpected(std::string("no list of signatures"));
    }
    std::vector<SignatureRecord> records;
    records.reserve(signatures->size());
    for (const auto& entry : *signatures) {
        auto record = decodeRecord(entry);
        if (!record) {
            return unexpected(record.error());
        }
        records.push_back(std::move(*record));
    }
    return records;
}

}  // namespace lidora::vmac
