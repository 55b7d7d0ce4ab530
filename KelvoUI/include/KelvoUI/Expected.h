#pragma once

#include <string>
#include <utility>
#include <variant>

namespace kelvo::ui {

// Why the toolkit could not produce something (a missing font, a failed
// surface); rendering reports it instead of throwing.
struct UiError {
  std::string message;  // what went wrong, for people
};

// A value or the reason there is none.
template <class T>
class Expected {
 public:
  Expected(T value) : state_(std::move(value)) {}        // NOLINT: implicit on purpose
  Expected(UiError error) : state_(std::move(error)) {}  // NOLINT: implicit on purpose

  bool ok() const { return std::holds_alternative<T>(state_); }
  explicit operator bool() const { return ok(); }
  const T& value() const& { return std::get<T>(state_); }
  T& value() & { return std::get<T>(state_); }
  T&& value() && { return std::get<T>(std::move(state_)); }
  const T& operator*() const& { return value(); }
  const T* operator->() const { return &value(); }
  const UiError& error() const { return std::get<UiError>(state_); }

 private:
  std::variant<T, UiError> state_;
};

}  // namespace kelvo::ui
