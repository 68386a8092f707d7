#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>
#include <system_error>

namespace lidora::testing {

// A fresh directory removed with everything in it when the test ends.
class TempDir {
public:
    TempDir() : TempDir(std::filesystem::temp_directory_path()) {}
    // In `base`, for what must share its file system.
    explicit TempDir(const std::filesystem::path& base) {
        std::string pattern = (base / "lidora-test-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            throw std::system_error(errno, std::generic_category(), "mkdtemp");
        }
        path_ = pattern;
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    [[nodiscard]] const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

}  // namespace lidora::testing
