// Outcomes of platform operations: a value, or the operating system's reason for failing.
//
// Result<T> reads like std::optional<T> (true when it holds a value, `*` and `->` to reach it) and
// adds error(), the reason. Status is the outcome of an operation that gives no value: true on
// success. Both map the platform's own error numbers to std::error_code in one place per OS.
#pragma once

#include <cassert>
#include <string>
#include <system_error>
#include <type_traits>
#include <utility>
#include <variant>

namespace zelpack::platform {

template <typename T>
class [[nodiscard]] Result {
  public:
    Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
    // REQUIRES: `error` is a failure (non-zero).
    Result(std::error_code error) : state_(std::in_place_index<1>, error) { assert(error); }

    bool has_value() const { return state_.index() == 0; }
    explicit operator bool() const { return has_value(); }

    T& operator*() & { return std::get<0>(state_); }
    const T& operator*() const& { return std::get<0>(state_); }
    T&& operator*() && { return std::get<0>(std::move(state_)); }
    T* operator->() { return &std::get<0>(state_); }
    const T* operator->() const { return &std::get<0>(state_); }

    template <typename U>
    T value_or(U&& fallback) const& {
        return has_value() ? **this : static_cast<T>(std::forward<U>(fallback));
    }

    // Empty while the result holds a value.
    std::error_code error() const { return has_value() ? std::error_code() : std::get<1>(state_); }

    // As for std::optional: equal when it holds a value equal to `value`.
    template <typename U>
    requires(!std::is_same_v<U, Result>) friend bool operator==(const Result& result,
                                                                const U& value) {
        return result.has_value() && *result == value;
    }

  private:
    std::variant<T, std::error_code> state_;
};

template <>
class [[nodiscard]] Result<void> {
  public:
    Result() = default;
    // An empty (zero) code is a success.
    Result(std::error_code error) : error_(error) {}

    explicit operator bool() const { return !error_; }
    const std::error_code& error() const { return error_; }

  private:
    std::error_code error_;
};

using Status = Result<void>;

// Failures that zelpack itself detects at the platform boundary, with texts of its own.
enum class Errc {
    NotRegularFile = 1,  // a device, pipe or socket where a regular file was needed
    NulInPath,           // the path holds a NUL, which the system would take as its end
    OutsideLink,         // a link that leads out of the folder it was to be read in
};
const std::error_category& ZelpackCategory();
inline std::error_code make_error_code(Errc code) {
    return {static_cast<int>(code), ZelpackCategory()};
}

// The reason as the user reads it: the operating system's own words for its errors.
std::u16string ErrorText(const std::error_code& error);

// The reason's symbolic name, for scripts: "ENOENT", "EACCES" (the C library's numbers, on
// either system), "ERROR_FILE_NOT_FOUND", "ERROR_ACCESS_DENIED" (Windows' own), zelpack's
// "ZELPACK_NOT_REGULAR_FILE". A number no table holds is named by its category: "errno 4095",
// "win32 4095". Empty for no error. Each system's side has its table.
std::string ErrorName(const std::error_code& error);
// The C library's name of errno `number`, or "errno N"; shared by both sides.
std::string ErrnoName(int number);
// The name of an error of another category than zelpack's and the generic one: the system's own.
std::string SystemErrorName(const std::error_code& error);

}  // namespace zelpack::platform

template <>
struct std::is_error_code_enum<zelpack::platform::Errc> : std::true_type {};
