#include "SnapshotSource.h"

#include "KelvoShared/SharedStore.h"
#include "KelvoShared/SnapshotStateJson.h"
#include "KelvoShared/WidgetSnapshot.h"
#include "KelvoWidget/CarPresentation.h"
#include "KelvoWidget/KelvoWidgetEntryView.h"

namespace kelvo::serve {

namespace {

// While there is no shared directory, looking for one again waits this long.
constexpr auto kResolveInterval = std::chrono::seconds(5);

}  // namespace

const widget::CarEntry& Document::entry(ui::WidgetFamily family) const {
  const bool picture = widget::showsCarPicture(family);
  const std::lock_guard lock(mutex_);
  std::optional<widget::CarEntry>& kept = picture ? pictured_ : plain_;
  // The provider decodes the picture for a family that shows one.
  if (!kept) kept = std::move(provider_.timeline({family, false}).entries.front());
  return *kept;
}

std::string Document::showJson() const { return snapshotStateJson(store_.snapshotState(), -1); }

SnapshotSource::SnapshotSource(Platform platform, widget::CarProvider::Clock clock)
    : platform_(std::move(platform)), clock_(std::move(clock)) {}

std::optional<std::filesystem::path> SnapshotSource::resolvedDirectory() {
  const auto now = std::chrono::steady_clock::now();
  if (!resolved_ || (!directory_ && now - resolvedAt_ >= kResolveInterval)) {
    directory_ = SharedStore(platform_).containerURL();
    resolvedAt_ = now;
    resolved_ = true;
  }
  return directory_;
}

std::optional<std::filesystem::path> SnapshotSource::directory() {
  const std::lock_guard lock(mutex_);
  return resolvedDirectory();
}

std::shared_ptr<const Document> SnapshotSource::current() {
  const std::optional<std::filesystem::path> dir = directory();
  const FileVersion version = fileVersion(dir);
  const std::lock_guard lock(mutex_);
  if (!document_ || document_->version() != version) {
    document_ = std::make_shared<const Document>(version, SharedStore(platform_), clock_);
  }
  return document_;
}

void SnapshotSource::forget() {
  const std::lock_guard lock(mutex_);
  resolved_ = false;
  document_.reset();
}

}  // namespace kelvo::serve
