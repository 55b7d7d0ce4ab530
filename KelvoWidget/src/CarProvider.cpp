#include "KelvoWidget/CarProvider.h"

#include <utility>

#include "KelvoWidget/CarPicture.h"
#include "KelvoWidget/PlaceholderSnapshot.h"

namespace kelvo::widget {

namespace {

// The entry's snapshot or problem for a store state.
struct FromState {
  CarEntry& entry;
  void operator()(SharedStore::Ok& ok) const { entry.snapshot = std::move(ok.snapshot); }
  void operator()(SharedStore::Unreadable& unreadable) const {
    entry.problem = WidgetProblem{WidgetProblem::Unreadable{SharedStore::boundedMessage(unreadable.message)}};
  }
  void operator()(SharedStore::NoContainer&) const {
    entry.problem = WidgetProblem{WidgetProblem::NoContainer{}};
  }
  void operator()(SharedStore::NoFile&) const {
    entry.problem = WidgetProblem{WidgetProblem::NothingPolledYet{}};
  }
};

}  // namespace

CarProvider::CarProvider(SharedStore store, Clock clock)
    : store_(std::move(store)), clock_(std::move(clock)) {
  if (!clock_) clock_ = &Date::now;
}

CarEntry CarProvider::sampleEntry() const {
  const WidgetSnapshot& sample = PlaceholderSnapshot::shared(clock_);
  CarEntry entry;
  entry.snapshot = sample;
  entry.date = clock_();
  return entry;
}

CarEntry CarProvider::placeholder(const TimelineProviderContext& /*context*/) const { return sampleEntry(); }

CarEntry CarProvider::currentEntry(ui::WidgetFamily family) const {
  CarEntry entry;
  SharedStore::SnapshotState state = store_.snapshotState();
  std::visit(FromState{entry}, state);

  // In this order, so the picture file is not even read unless it can be shown.
  if (family != ui::WidgetFamily::systemSmall && entry.snapshot && entry.snapshot->hasImage) {
    if (std::optional<std::vector<std::uint8_t>> bytes = store_.loadImage()) {
      Result<ui::Bitmap> picture = decodeCarPicture(*bytes);
      bytes.reset();  // the file's bytes go before the entry is handed on
      if (picture) entry.carImage = std::move(picture).value();
    }
  }
  entry.date = clock_();
  return entry;
}

void CarProvider::getSnapshot(const TimelineProviderContext& context,
                              const std::function<void(CarEntry)>& completion) const {
  CarEntry entry = currentEntry(context.family);
  if (!entry.snapshot && context.isPreview) entry = sampleEntry();
  completion(std::move(entry));
}

void CarProvider::getTimeline(const TimelineProviderContext& context,
                              const std::function<void(Timeline)>& completion) const {
  const Date now = clock_();
  const Date reload = now.addingTimeInterval(kReloadInterval);
  Timeline timeline;
  timeline.entries.push_back(currentEntry(context.family));
  timeline.policy = TimelineReloadPolicy::after(reload);
  completion(std::move(timeline));
}

}  // namespace kelvo::widget
