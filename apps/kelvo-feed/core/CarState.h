#pragma once

// What the feed knows about the car: the last good value of every input,
// and the snapshot composed from them by the preset's rules.

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "FeedValue.h"
#include "KelvoShared/DistanceUnit.h"
#include "KelvoShared/WidgetSnapshot.h"
#include "TopicMap.h"

namespace kelvo::feed {

// What one message did.
enum class Outcome {
  changed,    // a value is new or different
  unchanged,  // the same value again (e.g. a retained message after reconnecting)
  ignored,    // malformed: the last good value is kept
  unknown,    // no input listens on the topic
};

struct Accepted {
  Outcome outcome = Outcome::unknown;
  std::string reason;  // why it was ignored
};

// Whatever the snapshot takes from outside the messages.
struct ComposeContext {
  DistanceUnit unit = DistanceUnit::kilometers;  // the unit to show distances in
  bool unitExplicit = false;  // chosen by the user (else a snapshot document keeps its own)
  bool hasImage = false;      // car.png exists in the shared directory
  Date now;                   // the moment of writing
};

class CarState {
 public:
  // Payloads larger than this are refused unread.
  static constexpr std::size_t kPayloadLimit = std::size_t{1} << 20;

  explicit CarState(FeedSource source);

  const FeedSource& source() const { return source_; }
  // Every topic to subscribe to, each once, in table order.
  std::vector<std::string> topics() const;

  // Takes one message. A payload that is malformed (too large, invalid
  // UTF-8, not a number, out of range, not in the value map, a document the
  // widget would refuse) changes nothing. An empty payload withdraws the value.
  Accepted accept(std::string_view topic, std::string_view payload, Date now);

  // The topics of the required inputs that have no value yet.
  std::vector<std::string> missing() const;

  // The snapshot, once every required input is known.
  std::optional<WidgetSnapshot> compose(const ComposeContext& context) const;

  // When a value last changed (the car's data last arrived).
  std::optional<Date> changedAt() const { return changedAt_; }

 private:
  Result<std::optional<Value>> read(const InputSpec& spec, std::string_view payload) const;

  FeedSource source_;
  std::map<std::string, Value> values_;  // by input name
  std::optional<Date> changedAt_;
};

}  // namespace kelvo::feed
