#pragma once

// When the feed writes: bursts of changes are coalesced into one write, an
// unchanged snapshot is not rewritten too often, failed writes are retried,
// and a lost broker is retried with exponential backoff.

#include <optional>

#include "KelvoShared/WidgetSnapshot.h"

namespace kelvo::feed {

// Times are seconds on a monotonic clock.
class WriteSchedule {
 public:
  static constexpr double kQuietPeriod = 0.5;   // seconds without changes that end a burst
  static constexpr double kLongestDelay = 2.0;  // a steady stream still writes this often
  static constexpr double kUnchangedInterval =
      900.0;                                  // an unchanged snapshot is rewritten at most this often
  static constexpr double kRetryDelay = 5.0;  // after a failed write

  // A value changed at `now`.
  void changed(double now);
  // When to compose and write next; nothing while there is nothing new.
  std::optional<double> deadline() const;
  bool isDue(double now) const;

  // Whether a composed snapshot is worth writing: not when it has the same
  // data as the last one written less than kUnchangedInterval ago.
  bool shouldWrite(const WidgetSnapshot& composed, double now) const;
  // The outcome of the attempt made at the deadline (or of skipping it).
  void written(const WidgetSnapshot& snapshot, double now);
  void failed(double now);
  void skipped();
  // Makes a pending write due at `now` (on shutdown, or when waiting ends).
  void hurry(double now);

 private:
  std::optional<double> burstStart_;  // first change not yet written
  double lastChange_ = 0;
  std::optional<double> retryAt_;
  std::optional<WidgetSnapshot> lastWritten_;
  double lastWriteTime_ = 0;
};

// The wait before reconnection attempt number `failures` (1 for the first
// retry): 1 s doubling up to 60 s, less up to a quarter by `jitter` in [0, 1),
// so that many clients of one broker do not return in step.
double reconnectDelay(int failures, double jitter);

}  // namespace kelvo::feed
