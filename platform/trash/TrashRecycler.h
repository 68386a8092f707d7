#pragma once

#include <ctime>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/ports/FileRecycler.h"
#include "core/runtime/Expected.h"
#include "platform/vmac/VmacPaths.h"

namespace lidora::vmac {

// The Trash of one user of the virtual Mac, where Finder keeps it:
// <home>/.Trash, made (private to the user) on first use. Items are named by
// their path in the Mac ("/Applications/Lidora.app"), as the product knows
// them, and lie under its root. An item is renamed into the Trash, never
// copied, and never over another item: a name already there makes Finder's
// clash name (TrashName). No symbolic link below the root is followed on the
// way to the item or to the Trash; an item that is itself a link goes to the
// Trash as the link. Whatever fails leaves the item where it was and says
// why, as NSError's localizedDescription would.
class TrashRecycler final : public FileRecycler {
public:
    // The local time of a move, for clash names.
    using Clock = std::function<std::tm()>;

    // `home` is the user's home folder below `root`.
    TrashRecycler(std::filesystem::path root, std::filesystem::path home, Clock clock = localTimeNow);
    // For the user this process runs as.
    explicit TrashRecycler(const VmacPaths& paths, Clock clock = localTimeNow);

    [[nodiscard]] const std::filesystem::path& folder() const { return trash_; }

    std::optional<std::string> recycle(const std::string& path) override;
    // The same, with the name the item got in the Trash.
    Expected<std::string, std::string> moveToTrash(const std::filesystem::path& macPath);
    // The names in the Trash, sorted; none when it was never made.
    [[nodiscard]] Expected<std::vector<std::string>, std::string> list() const;

    static std::tm localTimeNow();

private:
    std::filesystem::path root_;
    std::filesystem::path trash_;
    Clock clock_;
};

}  // namespace lidora::vmac
