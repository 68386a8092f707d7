#pragma once

#include <cassert>
#include <type_traits>
#include <utility>
#include <variant>

namespace lidora {

// A value or an error, until the standard library here has std::expected.
template <typename E>
struct Unexpected {
    E error;
};

template <typename E>
Unexpected<std::decay_t<E>> unexpected(E&& error) {
    return {std::forward<E>(error)};
}

template <typename T, typename E>
class [[nodiscard]] Expected {
public:
    Expected(T value) : storage_(std::in_place_index<0>, std::move(value)) {}  // NOLINT(google-explicit-constructor)
    template <typename G>
    Expected(Unexpected<G> error)  // NOLINT(google-explicit-constructor)
        : storage_(std::in_place_index<1>, std::move(error.error)) {}

    [[nodiscard]] bool has_value() const { return storage_.index() == 0; }
    explicit operator bool() const { return has_value(); }

    T& value() & {
        assert(has_value());
        return std::get<0>(storage_);
    }
    const T& value() const& {
        assert(has_value());
        return std::get<0>(storage_);
    }
    T&& value() && {
        assert(has_value());
        return std::get<0>(std::move(storage_));
    }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }

    [[nodiscard]] const E& error() const {
        assert(!has_value());
        return std::get<1>(storage_);
    }

    template <typename U>
    T value_or(U&& fallback) const {
        return has_value() ? std::get<0>(storage_) : static_cast<T>(std::forward<U>(fallback));
    }

private:
    std::variant<T, E> storage_;
};

template <typename E>
class [[nodiscard]] Expected<void, E> {
public:
    Expected() = default;
    template <typename G>
    // NOLINTNEXTLINE(google-explicit-constructor)
    Expected(Unexpected<G> error) : error_(std::move(error.error)), failed_(true) {}

    [[nodiscard]] bool has_value() const { return !failed_; }
    explicit operator bool() const { return has_value(); }
    [[nodiscard]] const E& error() const {
        assert(failed_);
        return error_;
    }

private:
    E error_{};
    bool failed_ = false;
};

}  // namespace lidora
