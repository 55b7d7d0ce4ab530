#pragma once

#include <functional>
#include <vector>

#include "KelvoShared/Date.h"
#include "KelvoShared/SharedStore.h"
#include "KelvoUI/Environment.h"
#include "KelvoWidget/CarEntry.h"

namespace kelvo::widget {

// What the host says about a request.
struct TimelineProviderContext {
  ui::WidgetFamily family = ui::WidgetFamily::systemSmall;  // size of the placed widget
  bool isPreview = false;                                   // asked for the widget gallery
};

// When the host should ask for the next timeline: after a moment (the only
// policy the provider uses).
struct TimelineReloadPolicy {
  Date date;  // ask again at this moment

  static TimelineReloadPolicy after(Date moment) { return {moment}; }
};

struct Timeline {
  std::vector<CarEntry> entries;  // in date order; the provider gives exactly one
  TimelineReloadPolicy policy;
};

// The widget's only source of data: turns the shared store's state into one
// entry per request. Keeps nothing between requests; never fails towards the
// host (problems end up in the entry, a bad picture is left out).
class CarProvider {
 public:
  using Clock = std::function<Date()>;

  // Seconds from a timeline request to its reload time.
  static constexpr double kReloadInterval = 900;
  // Seconds of age from which the data counts as stale and every face says
  // how old it is: two reloads missed.
  static constexpr double kStaleAfter = 2 * kReloadInterval;

  // The store and the clock are the seams: tests and the host's --shared-dir
  // and --now pass their own.
  explicit CarProvider(SharedStore store = SharedStore(), Clock clock = &Date::now);

  // The sample car, at once; never reads the store. The context is not consulted.
  CarEntry placeholder(const TimelineProviderContext& context) const;

  // The current entry; in a preview, the sample car when there is no snapshot.
  CarEntry snapshot(const TimelineProviderContext& context) const;

  // A timeline of the current entry, to be reloaded 900 s after the request.
  Timeline timeline(const TimelineProviderContext& context) const;

  // snapshot() and timeline() for callers that take the answer in a
  // completion handler, as the host's requests do: calls `completion` exactly
  // once, before returning.
  void getSnapshot(const TimelineProviderContext& context,
                   const std::function<void(CarEntry)>& completion) const;
  void getTimeline(const TimelineProviderContext& context,
                   const std::function<void(Timeline)>& completion) const;

 private:
  struct EntryFor;
  CarEntry currentEntry(ui::WidgetFamily family) const;
  CarEntry sampleEntry() const;

  SharedStore store_;
  Clock clock_;
};

}  // namespace kelvo::widget
