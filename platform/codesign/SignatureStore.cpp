#include "platform/codesign/SignatureStore.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <mutex>

#include "platform/codesign/Sha256.h"
#include "platform/vmac/AtomicFile.h"

namespace lidora::vmac {

namespace {

constexpr std::size_t kMaxDatabaseSize = std::size_t{64} << 20;
constexpr const char* kNotSigned = "code object is not signed at all";

// Empty when this process may believe what the file or folder says: it
// belongs to us or to root, and nobody else may change it.
std::optional<std::string> distrust(const struct stat& info, const std::filesystem::path& path) {
    if (info.st_uid != ::geteuid() && info.st_uid != 0) {
        return path.string() + " belongs to uid " + std::to_string(info.st_uid) + ", neither this user nor root";
    }
    if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        return path.string() + " is writable by group or others";
    }
    return std::nullopt;
}

// The database opened only if it and its folder can be trusted; an invalid
// descriptor when there is none yet.
struct OpenedDatabase {
    FileDescriptor fd;
    FileStamp stamp;
};

Expected<OpenedDatabase, std::string> openTrusted(const std::filesystem::path& database) {
    const auto folder = database.parent_path();
    const FileDescriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir.valid()) {
        if (errno == ENOENT) {
            return OpenedDatabase{};
        }
        return unexpected(systemError("cannot open", folder));
    }
    struct stat info {};
    if (::fstat(dir.get(), &info) != 0) {
        return unexpected(systemError("cannot inspect", folder));
    }
    if (auto reason = distrust(info, folder)) {
        return unexpected(std::move(*reason));
    }
    // Relative to the folder just checked, so nobody can swap it in between.
    FileDescriptor fd(
        ::openat(dir.get(), database.filename().c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!fd.valid()) {
        if (errno == ENOENT) {
            return OpenedDatabase{};
        }
        return unexpected(systemError("cannot open", database));
    }
    if (::fstat(fd.get(), &info) != 0) {
        return unexpected(systemError("cannot inspect", database));
    }
    if (!S_ISREG(info.st_mode)) {
        return unexpected(database.string() + " is not a regular file");
    }
    if (auto reason = distrust(info, database)) {
        return unexpected(std::move(*reason));
    }
    return OpenedDatabase{std::move(fd), fileStampOf(info)};
}

// Reads a descriptor to its end, handing on each chunk; a chunk refused by
// `take` ends the read with its error.
Expected<void, std::string> readChunks(int fd, const std::filesystem::path& path,
                                       const std::function<Expected<void, std::string>(std::string_view)>& take) {
    char buffer[65536];
    for (;;) {
        const ssize_t count = ::read(fd, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0) {
            return unexpected(systemError("cannot read", path));
        }
        if (count == 0) {
            return {};
        }
        if (auto taken = take(std::string_view(buffer, static_cast<std::size_t>(count))); !taken) {
            return taken;
        }
    }
}

Expected<std::string, std::string> readAll(int fd, const std::filesystem::path& path, std::size_t limit) {
    std::string bytes;
    auto read = readChunks(fd, path, [&](std::string_view chunk) -> Expected<void, std::string> {
        if (bytes.size() + chunk.size() > limit) {
            return unexpected(path.string() + " is too large");
        }
        bytes.append(chunk);
        return {};
    });
    if (!read) {
        return unexpected(read.error());
    }
    return bytes;
}

Expected<std::vector<SignatureRecord>, std::string> readRecords(const OpenedDatabase& opened,
                                                                const std::filesystem::path& database) {
    if (!opened.fd.valid()) {
        return std::vector<SignatureRecord>();
    }
    auto bytes = readAll(opened.fd.get(), database, kMaxDatabaseSize);
    if (!bytes) {
        return unexpected(bytes.error());
    }
    auto records = decodeSignatureRecords(*bytes);
    if (!records) {
        return unexpected(database.string() + " is damaged: " + records.error());
    }
    return records;
}

// Records of files that are gone or changed can never match again.
void pruneDeadRecords(std::vector<SignatureRecord>& records) {
    std::erase_if(records, [](const SignatureRecord& record) {
        struct stat info {};
        if (::stat(record.path.c_str(), &info) != 0) {
            return errno == ENOENT || errno == ENOTDIR;
        }
        return fileStampOf(info) != record.stamp;
    });
}

Expected<std::string, std::string> hashContents(int fd, const std::filesystem::path& path) {
    Sha256 hash;
    auto read = readChunks(fd, path, [&](std::string_view chunk) -> Expected<void, std::string> {
        hash.update(chunk);
        return {};
    });
    if (!read) {
        return unexpected(read.error());
    }
    return Sha256::hex(hash.finish());
}

// The file as it is now: its stamp and the hash of its contents, provided
// nothing changed it while it was read.
Expected<SignatureRecord, std::string> recordFile(const std::filesystem::path& path) {
    const FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!fd.valid()) {
        return unexpected(systemError("cannot open", path));
    }
    struct stat before {};
    if (::fstat(fd.get(), &before) != 0) {
        return unexpected(systemError("cannot inspect", path));
    }
    if (!S_ISREG(before.st_mode)) {
        return unexpected(path.string() + " is not a regular file");
    }
    auto sha256 = hashContents(fd.get(), path);
    if (!sha256) {
        return unexpected(sha256.error());
    }
    struct stat after {};
    if (::fstat(fd.get(), &after) != 0) {
        return unexpected(systemError("cannot inspect", path));
    }
    if (fileStampOf(before) != fileStampOf(after)) {
        return unexpected(path.string() + " changed while it was being signed");
    }
    return SignatureRecord{path.string(), fileStampOf(before), {}, std::move(*sha256)};
}

}  // namespace

struct SignatureStore::Cache {
    std::mutex mutex;
    std::optional<FileStamp> stamp;
    std::shared_ptr<const Index> index;
};

SignatureStore::SignatureStore(std::filesystem::path database)
    : database_(std::move(database)), cache_(std::make_unique<Cache>()) {}

SignatureStore SignatureStore::forRoot(const VmacPaths& paths) {
    return SignatureStore(paths.root() / "var" / "db" / "codesign" / "signatures.json");
}

// A moved-from store keeps a cache of its own, so it stays usable.
SignatureStore::SignatureStore(SignatureStore&& other) noexcept : SignatureStore(std::move(other.database_)) {
    std::swap(cache_, other.cache_);
}

SignatureStore& SignatureStore::operator=(SignatureStore&& other) noexcept {
    std::swap(database_, other.database_);
    std::swap(cache_, other.cache_);
    return *this;
}

SignatureStore::~SignatureStore() = default;

Expected<CodeSignature, std::string> SignatureStore::sign(const std::filesystem::path& executable,
                                                          std::string identifier, std::string team) {
    if (auto valid = checkIdentifier(identifier); !valid) {
        return unexpected(valid.error());
    }
    if (auto valid = checkTeam(team); !valid) {
        return unexpected(valid.error());
    }
    std::error_code error;
    const auto path = std::filesystem::canonical(executable, error);
    if (error) {
        return unexpected("cannot find " + executable.string() + ": " + error.message());
    }
    auto record = recordFile(path);
    if (!record) {
        return unexpected(record.error());
    }
    record->signature = CodeSignature{std::move(identifier), std::move(team)};
    auto updated = update([&](std::vector<SignatureRecord>& records) -> Expected<void, std::string> {
        std::erase_if(records, [&](const SignatureRecord& old) {
            return old.path == record->path ||
                   (old.stamp.device == record->stamp.device && old.stamp.inode == record->stamp.inode);
        });
        records.push_back(*record);
        return {};
    });
    if (updated && !signatureOfFile(path)) {
        // Dropped as dead when the records were tidied: it changed meanwhile.
        return unexpected(path.string() + " changed while it was being signed");
    }
    if (!updated) {
        return unexpected(updated.error());
    }
    return record->signature;
}

Expected<void, std::string> SignatureStore::remove(const std::filesystem::path& executable) {
    std::error_code error;
    auto path = std::filesystem::canonical(executable, error);
    if (error) {
        // Gone already: its record can still be dropped by name.
        path = std::filesystem::absolute(executable, error).lexically_normal();
    }
    struct stat info {};
    const bool exists = ::stat(path.c_str(), &info) == 0;
    return update([&](std::vector<SignatureRecord>& records) -> Expected<void, std::string> {
        const auto removed = std::erase_if(records, [&](const SignatureRecord& record) {
            return record.path == path.string() ||
                   (exists && record.stamp.device == static_cast<std::uint64_t>(info.st_dev) &&
                    record.stamp.inode == static_cast<std::uint64_t>(info.st_ino));
        });
        if (removed == 0) {
            return unexpected(std::string(kNotSigned));
        }
        return {};
    });
}

Expected<void, std::string> SignatureStore::update(const Change& change) {
    const auto folder = database_.parent_path();
    std::error_code error;
    std::filesystem::create_directories(folder.parent_path(), error);
    if (error) {
        return unexpected("cannot create " + folder.parent_path().string() + ": " + error.message());
    }
    if (::mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST) {
        return unexpected(systemError("cannot create", folder));
    }
    auto lock = FileLock::acquire(folder / "signatures.lock");
    if (!lock) {
        return unexpected(lock.error());
    }
    auto opened = openTrusted(database_);
    if (!opened) {
        return unexpected("will not use the signature database: " + opened.error());
    }
    auto records = readRecords(*opened, database_);
    if (!records) {
        return unexpected(records.error() + " (move it aside to start afresh)");
    }
    if (auto changed = change(*records); !changed) {
        return changed;
    }
    pruneDeadRecords(*records);
    std::sort(records->begin(), records->end(),
              [](const SignatureRecord& a, const SignatureRecord& b) { return a.path < b.path; });
    const auto bytes = encodeSignatureRecords(*records);
    if (!bytes) {
        return unexpected("cannot record the signature: " + bytes.error());
    }
    auto temporary = database_;
    temporary += ".tmp";
    return replaceFileAtomically(database_, temporary, *bytes, 0644);
}

namespace {

// Whether the database read last is still there, unchanged and trusted: its
// folder trusted as it resolves now, and the file's stamp (whose change time
// moves with any write, link, chmod or chown) the one read. Two stats instead
// of opening both, on every connection the daemon checks.
bool unchangedAndTrusted(const std::filesystem::path& database, const FileStamp& read) {
    struct stat info {};
    if (::stat(database.parent_path().c_str(), &info) != 0 || !S_ISDIR(info.st_mode) ||
        distrust(info, database.parent_path())) {
        return false;
    }
    if (::lstat(database.c_str(), &info) != 0 || !S_ISREG(info.st_mode) || distrust(info, database)) {
        return false;
    }
    return fileStampOf(info) == read;
}

}  // namespace

Expected<std::shared_ptr<const SignatureStore::Index>, std::string> SignatureStore::trustedIndex() const {
    {
        const std::lock_guard guard(cache_->mutex);
        if (cache_->index && cache_->stamp && unchangedAndTrusted(database_, *cache_->stamp)) {
            return cache_->index;
        }
    }
    auto opened = openTrusted(database_);
    if (!opened) {
        return unexpected(opened.error());
    }
    if (!opened->fd.valid()) {
        return std::make_shared<const Index>();
    }
    const std::lock_guard guard(cache_->mutex);
    if (cache_->stamp == opened->stamp) {
        return cache_->index;
    }
    auto records = readRecords(*opened, database_);
    if (!records) {
        return unexpected(records.error());
    }
    auto index = std::make_shared<Index>();
    for (auto& record : *records) {
        const auto key = std::make_pair(record.stamp.device, record.stamp.inode);
        (*index)[key] = std::move(record);
    }
    cache_->stamp = opened->stamp;
    cache_->index = std::move(index);
    return cache_->index;
}

Expected<SignatureRecord, std::string> SignatureStore::lookUp(const FileStamp& stamp) const {
    const auto index = trustedIndex();
    if (!index) {
        return unexpected(std::string(kNotSigned) + " (the signature database is not trusted: " + index.error() + ")");
    }
    const auto found = (*index)->find(std::make_pair(stamp.device, stamp.inode));
    if (found == (*index)->end()) {
        return unexpected(std::string(kNotSigned));
    }
    if (found->second.stamp != stamp) {
        return unexpected(std::string("invalid signature (code or signature have been modified)"));
    }
    return found->second;
}

Expected<SignatureRecord, std::string> SignatureStore::verifyFile(const std::filesystem::path& file) const {
    struct stat info {};
    if (::stat(file.c_str(), &info) != 0) {
        return unexpected(systemError("cannot inspect", file));
    }
    if (!S_ISREG(info.st_mode)) {
        return unexpected(std::string(kNotSigned));
    }
    return lookUp(fileStampOf(info));
}

Expected<SignatureRecord, std::string> SignatureStore::verifyProcess(pid_t pid) const {
    if (pid <= 0) {
        return unexpected("no process " + std::to_string(pid));
    }
    // The link leads to the very file the process runs, even if it has since
    // been renamed or deleted; stat follows it as open would, in one call.
    const std::filesystem::path exe = "/proc/" + std::to_string(pid) + "/exe";
    struct stat info {};
    if (::stat(exe.c_str(), &info) != 0) {
        return unexpected(systemError("cannot inspect", exe));
    }
    return lookUp(fileStampOf(info));
}

Expected<SignatureRecord, std::string> SignatureStore::verifyOpenFile(int fd) const {
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        return unexpected(systemError("cannot inspect", "descriptor " + std::to_string(fd)));
    }
    if (!S_ISREG(info.st_mode)) {
        return unexpected(std::string(kNotSigned));
    }
    return lookUp(fileStampOf(info));
}

std::optional<CodeSignature> SignatureStore::signatureOfFile(const std::filesystem::path& file) const {
    auto record = verifyFile(file);
    return record ? std::optional(std::move(record->signature)) : std::nullopt;
}

std::optional<CodeSignature> SignatureStore::signatureOfProcess(pid_t pid) const {
    auto record = verifyProcess(pid);
    return record ? std::optional(std::move(record->signature)) : std::nullopt;
}

}  // namespace lidora::vmac
