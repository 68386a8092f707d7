#pragma once

#include <sys/types.h>

#include <ctime>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <utility>

#include "core/runtime/Expected.h"
#include "platform/vmac/AtomicFile.h"
#include "platform/vmac/VmacPaths.h"

namespace lidora::vmac {

// A small file of records that several processes read and change: a read
// sees a whole file, a change happens under the file's lock by atomic
// replacement, so no change is lost. A damaged file reads as empty and is
// reported; before anything is written over it, it is kept aside as
// <file>.corrupt-<unix time>.
template <typename Records>
class RecordFile {
public:
    using Decode = Expected<Records, std::string> (*)(std::string_view);
    using Encode = std::string (*)(const Records&);
    using Warn = std::function<void(const std::string&)>;
    using Change = std::function<bool(Records&)>;

    RecordFile(std::filesystem::path file, Decode decode, Encode encode, mode_t mode, Warn warn = {},
               Durability durability = Durability::flushed)
        : file_(std::move(file)),
          decode_(decode),
          encode_(encode),
          mode_(mode),
          warn_(std::move(warn)),
          durability_(durability) {}

    [[nodiscard]] const std::filesystem::path& file() const { return file_; }

    // An error only when the file cannot be read at all.
    [[nodiscard]] Expected<Records, std::string> read() const {
        auto contents = readFileIfPresent(file_);
        if (!contents) {
            return unexpected(contents.error());
        }
        if (!*contents) {
            return Records{};
        }
        auto decoded = decode_((*contents)->bytes);
        if (!decoded) {
            report(file_.string() + " is damaged (" + decoded.error() + "); it reads as empty");
            return Records{};
        }
        return decoded;
    }

    // Writes only when `change` reports a change.
    Expected<void, std::string> update(const Change& change) {
        if (!makeDirectories(file_.parent_path())) {
            return unexpected(systemError("cannot create", file_.parent_path()));
        }
        auto lock = FileLock::acquire(sibling(".lock"));
        if (!lock) {
            return unexpected(lock.error());
        }
        auto contents = readFileIfPresent(file_);
        if (!contents) {
            return unexpected(contents.error());
        }
        Records records{};
        if (*contents) {
            if (auto decoded = decode_((*contents)->bytes)) {
                records = std::move(decoded).value();
            } else if (auto kept = keepAside(decoded.error()); !kept) {
                return kept;
            }
        }
        if (!change(records)) {
            return {};
        }
        return replaceFileAtomically(file_, sibling(".tmp"), encode_(records), mode_, durability_);
    }

private:
    std::filesystem::path sibling(std::string_view suffix) const {
        auto path = file_;
        path += std::string(suffix);
        return path;
    }

    Expected<void, std::string> keepAside(const std::string& why) const {
        const auto aside = sibling(".corrupt-" + std::to_string(std::time(nullptr)));
        std::error_code error;
        std::filesystem::rename(file_, aside, error);
        if (error) {
            return unexpected(file_.string() + " is damaged and cannot be kept aside: " + error.message());
        }
        report(file_.string() + " was damaged (" + why + "); kept it as " + aside.string());
        return {};
    }

    void report(const std::string& message) const {
        if (warn_) {
            warn_(message);
        }
    }

    std::filesystem::path file_;
    Decode decode_;
    Encode encode_;
    mode_t mode_;
    Warn warn_;
    Durability durability_;
};

}  // namespace lidora::vmac
