#pragma once

// What the feed knows about the car: the last good value of every input,
// the time the source vouches for them, and the snapshot composed from them
// by the preset's rules.

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
  unchanged,  // the same value again, a marker for "unknown", or news about the source only
  ignored,    // malformed: the last good value is kept
  unknown,    // no input listens on the topic
};

struct Accepted {
  Outcome outcome = Outcome::unknown;
  std::string reason;  // why it was ignored
};

// How a message came: as it was sent, or as the retained copy a broker hands
// out on subscribing, which is old news of unknown age.
enum class Delivery { live, retained };

// Whatever the snapshot takes from outside the messages.
struct ComposeContext {
  DistanceUnit unit = DistanceUnit::kilometers;  // the unit to show distances in
  bool unitExplicit = false;  // chosen by the user (else a snapshot document keeps its own)
  bool hasImage = false;      // car.png exists in the shared directory
  Date now;                   // the moment of writing
};

// One input's last good value.
struct KnownValue {
  Value value;
  bool held = false;           // the source has since said it does not know
  std::optional<Date> heldAt;  // then: the data's time, when known
};

class CarState {
 public:
  // Payloads larger than this are refused unread.
  static constexpr std::size_t kPayloadLimit = std::size_t{1} << 20;
  // The source's clock moving on by this much (the widget's reload interval,
  // in seconds) counts as news, so that a live source's data never look old.
  static constexpr double kClockNews = 900;
  // A battery within this many percent of the charge limit has reached it,
  // as evcc reads its vehicles' limits (cars stop a little below).
  static constexpr double kLimitTolerance = 1;

  explicit CarState(FeedSource source);

  const FeedSource& source() const { return source_; }
  // Every topic to subscribe to, each once, in table order.
  std::vector<std::string> topics() const;

  // Takes one message. A payload that is malformed (too large, invalid
  // UTF-8, not a number, out of range, not in the value map, a document the
  // widget would refuse) changes nothing. A payload that is the source's
  // marker for "unknown" keeps the last good value; one for "none" withdraws it.
  Accepted accept(std::string_view topic, std::string_view payload, Date now,
                  Delivery delivery = Delivery::live);

  // The snapshot stored before this run: its time bounds the age of retained
  // news that comes without the source's own time.
  void restore(const WidgetSnapshot& stored) { stored_ = stored; }

  // The topics of the required inputs that have no value yet.
  std::vector<std::string> missing() const;

  // The snapshot, once every required input is known.
  std::optional<WidgetSnapshot> compose(const ComposeContext& context) const;

  // One line to log when the source declares itself offline or nothing live
  // arrived for its quiet limit, and one when it is back; otherwise nothing.
  std::optional<std::string> checkSource(Date now);

 private:
  struct Reading {
    Marker marker = Marker::reading;
    std::optional<Value> value;  // set for a reading
  };

  Result<Reading> read(const InputSpec& spec, std::string_view payload) const;
  bool apply(const InputSpec& spec, const Reading& reading);
  std::optional<Date> timeOf(Role role) const;
  void carNews(Date now, Delivery delivery);
  bool clockNews();
  std::optional<Date> dataTime() const;
  std::optional<Date> reportedAt() const;

  FeedSource source_;
  std::map<std::string, KnownValue> values_;  // by input name
  std::optional<Date> dataTime_;              // the source's time of the car's data, else when live news came
  std::optional<Date> newsClock_;             // the source's clock at the last news
  std::optional<Date> retainedAt_;            // when retained news without a time came, until a time is known
  std::optional<WidgetSnapshot> stored_;
  std::optional<Date> lastLive_;  // when the last live message came
  bool reportedGone_ = false;     // the source's absence is logged
};

}  // namespace kelvo::feed
