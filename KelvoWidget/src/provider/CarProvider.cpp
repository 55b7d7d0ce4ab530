#include "KelvoWidget/CarProvider.h"

#include <mutex>
#include <optional>
#include <utility>

#include "KelvoWidget/CarPicture.h"
#include "KelvoWidget/CarPresentation.h"
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

CarEntry CarProvider::sampleEntry() const { return CarEntry(clock_(), PlaceholderSnapshot::shared(clock_)); }

CarEntry CarProvider::placeholder(const TimelineProviderContext& /*context*/) const { return sampleEntry(); }

// The entry for each state of the store: the snapshot with its picture, or
// why there is none.
struct CarProvider::EntryFor {
  const CarProvider& provider;
  ui::WidgetFamily family;

  CarEntry operator()(SharedStore::Ok& ok) const {
    // In this order, so the picture file is not even read unless it can be shown.
    std::optional<ui::Bitmap> picture;
    if (showsCarPicture(family) && ok.snapshot.hasImage) {
      if (std::unique_ptr<RegularFileReader> file = provider.store_.openImage()) picture = decodeOnce(*file);
    }
    return CarEntry(provider.clock_(), std::move(ok.snapshot), std::move(picture));
  }
  CarEntry operator()(const SharedStore::Unreadable& unreadable) const {
    return problem(WidgetProblem::Unreadable{SharedStore::boundedMessage(unreadable.message)});
  }
  CarEntry operator()(SharedStore::NoContainer) const { return problem(WidgetProblem::NoContainer{}); }
  CarEntry operator()(SharedStore::NoFile) const { return problem(WidgetProblem::NothingPolledYet{}); }

  CarEntry problem(decltype(WidgetProblem::value) why) const {
    return CarEntry(provider.clock_(), WidgetProblem{std::move(why)});
  }
};

CarEntry CarProvider::currentEntry(ui::WidgetFamily family) const {
  SharedStore::SnapshotState state = store_.snapshotState();
  return std::visit(EntryFor{*this, family}, state);
}

CarEntry CarProvider::snapshot(const TimelineProviderContext& context) const {
  CarEntry entry = currentEntry(context.family);
  if (!entry.snapshot() && context.isPreview) return sampleEntry();
  return entry;
}

Timeline CarProvider::timeline(const TimelineProviderContext& context) const {
  const Date reload = clock_().addingTimeInterval(kReloadInterval);
  return Timeline{{currentEntry(context.family)}, TimelineReloadPolicy::after(reload)};
}

void CarProvider::getSnapshot(const TimelineProviderContext& context,
                              const std::function<void(CarEntry)>& completion) const {
  completion(snapshot(context));
}

void CarProvider::getTimeline(const TimelineProviderContext& context,
                              const std::function<void(Timeline)>& completion) const {
  completion(timeline(context));
}

}  // namespace kelvo::widget
