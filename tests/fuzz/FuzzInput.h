#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

// What every fuzz target includes: the libFuzzer entry point and a reader
// that splits one input into the values a target needs.

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace lidora::fuzz {

// A broken promise of the code under test is a crash, so the fuzzer keeps
// the input that shows it.
[[noreturn]] inline void fail(const char* what, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: broken: %s\n", file, line, what);
    std::abort();
}

#define LIDORA_FUZZ_CHECK(condition) \
    ((condition) ? static_cast<void>(0) : ::lidora::fuzz::fail(#condition, __FILE__, __LINE__))

// Takes leading bytes as small choices and leaves the rest as text, so
// that seeds stay readable: a few option bytes, then the text itself.
class FuzzInput {
public:
    FuzzInput(const std::uint8_t* data, std::size_t size) : rest_(reinterpret_cast<const char*>(data), size) {}

    // One byte, 0 when the input is used up.
    std::uint8_t byte() {
        if (rest_.empty()) {
            return 0;
        }
        const auto value = static_cast<std::uint8_t>(rest_.front());
        rest_.remove_prefix(1);
        return value;
    }
    bool flag() { return (byte() & 1U) != 0; }

    // Everything up to the next NUL (taken too), or the rest.
    std::string_view field() {
        const auto end = rest_.find('\0');
        const auto value = rest_.substr(0, end);
        rest_.remove_prefix(end == std::string_view::npos ? rest_.size() : end + 1);
        return value;
    }

    // The remaining input split at every NUL, as a command line arrives.
    std::vector<std::string_view> fields() {
        std::vector<std::string_view> out;
        while (!rest_.empty()) {
            out.push_back(field());
        }
        return out;
    }

    [[nodiscard]] std::string_view rest() const { return rest_; }

private:
    std::string_view rest_;
};

}  // namespace lidora::fuzz
