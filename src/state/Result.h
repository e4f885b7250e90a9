// The error convention of new code: an operation that can fail returns a Result, which carries
// the message a user is shown when it failed; ResultOf<T> also carries the value on success.
// Code that the program's fixed interfaces describe keeps their integer codes and messages.
//
// Threads: plain values, usable anywhere.
#pragma once

#include <optional>
#include <string>
#include <utility>

namespace zmr {

class [[nodiscard]] Result {
 public:
  static Result Ok() { return Result(); }
  static Result Fail(std::string message) { return Result(std::move(message)); }

  bool ok() const { return !message_.has_value(); }
  explicit operator bool() const { return ok(); }
  // The message of a failure; empty on success.
  const std::string& message() const {
    static const std::string kNone;
    return message_ ? *message_ : kNone;
  }

 private:
  Result() = default;
  explicit Result(std::string message) : message_(std::move(message)) {}
  std::optional<std::string> message_;
};

template <typename T>
class [[nodiscard]] ResultOf {
 public:
  ResultOf(T value) : value_(std::move(value)) {}             // NOLINT: a value converts to success
  ResultOf(Result failure) : failure_(std::move(failure)) {}  // NOLINT: and a failed Result
  bool ok() const { return value_.has_value(); }
  explicit operator bool() const { return ok(); }
  const T& value() const { return *value_; }
  T& value() { return *value_; }
  const std::string& message() const { return failure_.message(); }

 private:
  std::optional<T> value_;
  Result failure_ = Result::Ok();
};

}  // namespace zmr
