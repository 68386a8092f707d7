#pragma once

#include <filesystem>
#include <string>

#include "core/runtime/Expected.h"
#include "platform/codesign/CodeSignature.h"
#include "platform/codesign/SignatureStore.h"
#include "platform/launchd/LaunchJob.h"
#include "platform/vmac/FileDescriptor.h"

namespace lidora::vmac {

// Who may own what launchd opens on the way to a file.
enum class Ownership {
    anyone,
    // Root or launchd's own user, and nobody else may write it: folders
    // writable by others only when sticky, as /tmp is.
    administrators,
};

// Opens the regular file at `path` (absolute) walking from / one folder at a
// time without following a symlink anywhere, so what is checked is what was
// opened. Every folder and the file itself must satisfy `ownership`.
Expected<FileDescriptor, std::string> openWithoutSymlinks(const std::filesystem::path& path, Ownership ownership);

// The job at `plist` as launchd may run it: the property list and the program
// opened by openWithoutSymlinks (for administrators, unless only looked at),
// the list parsed from the very file checked and the program kept open, to be
// run by its descriptor.
Expected<LaunchJob, std::string> loadTrustedLaunchJob(const std::filesystem::path& plist,
                                                      Ownership ownership = Ownership::administrators);

// The team signature of a job's opened program; ad-hoc or unsigned code has none.
Expected<CodeSignature, std::string> programSignature(const LaunchJob& job, const SignatureStore& signatures);

// The signature of `bundle`'s main executable (Contents/MacOS/ named by
// CFBundleExecutable), verified on the file opened without symlinks.
Expected<CodeSignature, std::string> bundleSignature(const std::filesystem::path& bundle,
                                                     const SignatureStore& signatures);

}  // namespace lidora::vmac
