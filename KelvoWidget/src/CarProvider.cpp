#include "KelvoWidget/CarProvider.h"

#include <mutex>
#include <optional>
#include <utility>

#include "KelvoWidget/CarPicture.h"
#include "KelvoWidget/PlaceholderSnapshot.h"

namespace kelvo::widget {

namespace {

struct FileSource : PictureSource {
  explicit FileSource(RegularFileReader& file) : file(file) {}
  Result<std::size_t> read(std::uint8_t* buffer, std::size_t size) override {
    return file.read(buffer, size);
  }
  RegularFileReader& file;
};

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

// The last picture file decoded in this process and what came of it, so a
// host drawing several families in one refresh decodes car.png once: half
// the work, and no second decoder's memory on top of the first drawing's.
struct DecodedPicture {
  RegularFileReader::Identity file;
  std::optional<ui::Bitmap> picture;  // nothing when the file is no usable picture
};

std::optional<ui::Bitmap> decodeOnce(RegularFileReader& file) {
  static std::mutex mutex;
  static std::optional<DecodedPicture> last;
  const std::lock_guard lock(mutex);
  if (last && last->file == file.identity()) return last->picture;
  last.reset();  // its thumbnail goes before the next decoder's memory comes
  // Read in pieces: a picture file may be as large as the store allows.
  FileSource source{file};
  Result<ui::Bitmap> picture = decodeCarPicture(source);
  last = DecodedPicture{file.identity(), picture ? std::optional(std::move(picture).value()) : std::nullopt};
  return last->picture;
}

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
    if (std::unique_ptr<RegularFileReader> file = store_.openImage()) entry.carImage = decodeOnce(*file);
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
