#include "platform/launchd/ServiceTrust.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <vector>

#include "platform/bundle/PlistDocument.h"
#include "platform/launchd/ServiceRegistry.h"
#include "platform/vmac/AtomicFile.h"

namespace lidora::vmac {

namespace {

constexpr std::size_t kMaxFileBytes = std::size_t{1024} * 1024;

Expected<void, std::string> checkOwner(const struct stat& info, const std::filesystem::path& path,
                                       Ownership ownership) {
    if (ownership == Ownership::anyone) {
        return {};
    }
    if (info.st_uid != 0 && info.st_uid != ::geteuid()) {
        return unexpected(path.string() + " belongs to uid " + std::to_string(info.st_uid) +
                          ", so launchd won't run anything from it");
    }
    const bool sticky = S_ISDIR(info.st_mode) && (info.st_mode & S_ISVTX) != 0;
    if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0 && !sticky) {
        return unexpected(path.string() + " is writable by other users, so launchd won't run anything from it");
    }
    return {};
}

// Why `name` in `folder` could not be opened; a symlink is named as such.
std::string openFailure(int folder, const std::string& name, const std::filesystem::path& path) {
    const int error = errno;
    struct stat info {};
    if (::fstatat(folder, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(info.st_mode)) {
        return path.string() + " is a symbolic link, and launchd follows none";
    }
    errno = error;
    return systemError("cannot open", path);
}

Expected<std::string, std::string> readBounded(int fd, const std::filesystem::path& path) {
    std::string bytes;
    char buffer[16384];
    for (;;) {
        const ssize_t count = ::read(fd, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0) {
            return unexpected(systemError("cannot read", path));
        }
        if (count == 0) {
            return bytes;
        }
        if (bytes.size() + static_cast<std::size_t>(count) > kMaxFileBytes) {
            return unexpected(path.string() + ": too large for a property list");
        }
        bytes.append(buffer, static_cast<std::size_t>(count));
    }
}

std::optional<std::string> mainExecutableName(std::string_view infoPlist) {
    const auto document = parseXmlPlistDocument(infoPlist);
    const auto* dict = document ? document->asDictionary() : nullptr;
    if (dict == nullptr) {
        return std::nullopt;
    }
    const auto found = dict->find("CFBundleExecutable");
    if (found == dict->end() || !found->second.isString() || !isPlainFileName(*found->second.asString())) {
        return std::nullopt;
    }
    return *found->second.asString();
}

}  // namespace

Expected<FileDescriptor, std::string> openWithoutSymlinks(const std::filesystem::path& path, Ownership ownership) {
    const auto normal = path.lexically_normal();
    if (!normal.is_absolute() || !normal.has_filename()) {
        return unexpected(path.string() + " is not an absolute path to a file");
    }
    std::vector<std::string> parts;
    for (const auto& part : normal.relative_path()) {
        if (part == "..") {
            return unexpected(path.string() + " leads out of the root");
        }
        parts.push_back(part.string());
    }
    FileDescriptor folder(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
    std::filesystem::path reached = "/";
    for (std::size_t i = 0;; ++i) {
        struct stat info {};
        if (!folder.valid() || ::fstat(folder.get(), &info) != 0) {
            return unexpected(systemError("cannot open", reached));
        }
        if (auto trusted = checkOwner(info, reached, ownership); !trusted) {
            return unexpected(trusted.error());
        }
        const bool leaf = i + 1 == parts.size();
        reached /= parts[i];
        // The file too is opened as a path first, so that nothing but a
        // regular file is ever opened for reading (a device could act on it).
        FileDescriptor next(
            ::openat(folder.get(), parts[i].c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC | (leaf ? 0 : O_DIRECTORY)));
        if (!next.valid()) {
            return unexpected(openFailure(folder.get(), parts[i], reached));
        }
        if (!leaf) {
            folder = std::move(next);
            continue;
        }
        if (::fstat(next.get(), &info) != 0) {
            return unexpected(systemError("cannot inspect", reached));
        }
        if (S_ISLNK(info.st_mode)) {
            return unexpected(reached.string() + " is a symbolic link, and launchd follows none");
        }
        if (!S_ISREG(info.st_mode)) {
            return unexpected(reached.string() + " is not a regular file");
        }
        if (auto trusted = checkOwner(info, reached, ownership); !trusted) {
            return unexpected(trusted.error());
        }
        // Reopening through the descriptor reaches the same file, whatever its path leads to now.
        const auto self = "/proc/self/fd/" + std::to_string(next.get());
        FileDescriptor file(::open(self.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
        if (!file.valid()) {
            return unexpected(systemError("cannot open", reached));
        }
        return file;
    }
}

Expected<LaunchJob, std::string> loadTrustedLaunchJob(const std::filesystem::path& plist, Ownership ownership) {
    const auto path = plist.lexically_normal();
    auto opened = openWithoutSymlinks(path, ownership);
    if (!opened) {
        return unexpected(opened.error());
    }
    auto bytes = readBounded(opened->get(), path);
    if (!bytes) {
        return unexpected(bytes.error());
    }
    auto job = parseLaunchJob(*bytes, path);
    if (!job) {
        return unexpected(job.error());
    }
    auto program = openWithoutSymlinks(job->program, ownership);
    if (!program) {
        return unexpected(path.string() + ": " + program.error());
    }
    struct stat info {};
    if (::fstat(program->get(), &info) != 0 || (info.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH)) == 0) {
        return unexpected(path.string() + ": the program " + job->program.string() + " is not an executable file");
    }
    job->programFile = std::make_shared<const FileDescriptor>(std::move(program).value());
    return job;
}

Expected<CodeSignature, std::string> programSignature(const LaunchJob& job, const SignatureStore& signatures) {
    if (!job.programFile) {
        return unexpected("the program " + job.program.string() + " of " + job.label + " was not opened");
    }
    auto record = signatures.verifyOpenFile(job.programFile->get());
    if (!record) {
        return unexpected("the program " + job.program.string() + " of " + job.label + ": " + record.error());
    }
    if (record->signature.isAdHoc()) {
        return unexpected("the program " + job.program.string() + " of " + job.label + " is signed ad hoc, by no team");
    }
    return record->signature;
}

Expected<CodeSignature, std::string> bundleSignature(const std::filesystem::path& bundle,
                                                     const SignatureStore& signatures) {
    const auto infoPath = bundle / "Contents" / "Info.plist";
    auto info = openWithoutSymlinks(infoPath, Ownership::anyone);
    if (!info) {
        return unexpected(info.error());
    }
    auto bytes = readBounded(info->get(), infoPath);
    if (!bytes) {
        return unexpected(bytes.error());
    }
    const auto name = mainExecutableName(*bytes);
    if (!name) {
        return unexpected(infoPath.string() + " names no executable in CFBundleExecutable");
    }
    const auto executable = bundle / "Contents" / "MacOS" / *name;
    auto opened = openWithoutSymlinks(executable, Ownership::anyone);
    if (!opened) {
        return unexpected(opened.error());
    }
    auto record = signatures.verifyOpenFile(opened->get());
    if (!record) {
        return unexpected(executable.string() + ": " + record.error());
    }
    return record->signature;
}

}  // namespace lidora::vmac
