#pragma once

#include <string>
#include <string_view>
#include <variant>

namespace kelvo::widget {

// Why an entry has no snapshot. Carried from the provider to the no-data view.
struct WidgetProblem {
  // snapshot.json exists but cannot be read or decoded.
  struct Unreadable {
    std::string message;  // the store's message, within SharedStore::boundedMessage()
  };
  // No snapshot.json yet: the companion has not written one.
  struct NothingPolledYet {};
  // The shared directory cannot be resolved.
  struct NoContainer {};

  std::variant<Unreadable, NothingPolledYet, NoContainer> value;

  // "unreadable", "nothingPolledYet" or "noContainer".
  std::string_view caseName() const;
  // The message of `unreadable`; null for the other cases.
  const std::string* message() const;
};

}  // namespace kelvo::widget
