#include "WriteSchedule.h"

#include <algorithm>
#include <cmath>

namespace kelvo::feed {

void WriteSchedule::changed(double now) {
  if (!burstStart_) burstStart_ = now;
  lastChange_ = now;
}

std::optional<double> WriteSchedule::deadline() const {
  if (retryAt_) return retryAt_;
  if (!burstStart_) return std::nullopt;
  return std::min(lastChange_ + kQuietPeriod, *burstStart_ + kLongestDelay);
}

bool WriteSchedule::isDue(double now) const {
  const auto at = deadline();
  return at && now >= *at;
}

bool WriteSchedule::shouldWrite(const WidgetSnapshot& composed, double now) const {
  if (!lastWritten_ || !composed.sameData(*lastWritten_)) return true;
  return now - lastWriteTime_ >= kUnchangedInterval;
}

void WriteSchedule::written(const WidgetSnapshot& snapshot, double now) {
  lastWritten_ = snapshot;
  lastWriteTime_ = now;
  burstStart_.reset();
  retryAt_.reset();
}

void WriteSchedule::failed(double now) {
  burstStart_.reset();
  retryAt_ = now + kRetryDelay;
}

void WriteSchedule::skipped() {
  burstStart_.reset();
  retryAt_.reset();
}

void WriteSchedule::hurry(double now) {
  if (burstStart_ || retryAt_) retryAt_ = now;
}

double reconnectDelay(int failures, double jitter) {
  const int doublings = std::clamp(failures - 1, 0, 6);  // 2^6 = 64 > 60
  const double base = std::min(60.0, std::ldexp(1.0, doublings));
  return base * (1.0 - 0.25 * std::clamp(jitter, 0.0, 1.0));
}

}  // namespace kelvo::feed
