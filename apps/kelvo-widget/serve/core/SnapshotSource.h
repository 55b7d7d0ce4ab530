#pragma once

// The shared files as the server last read them: one Document per version
// of snapshot.json and car.png, read again only when either changes, its
// picture decoded once.

#include <chrono>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "Freshness.h"
#include "KelvoShared/Platform.h"
#include "KelvoShared/SharedStore.h"
#include "KelvoWidget/CarProvider.h"

namespace kelvo::serve {

// One version of the shared files, read.
class Document {
 public:
  Document(FileVersion version, const SharedStore& store, widget::CarProvider::Clock clock)
      : version_(version), store_(store), provider_(store, std::move(clock)) {}

  const FileVersion& version() const { return version_; }
  // The entry the widget shows in `family`: with the picture when the family
  // shows one (decoded at the first such request).
  // The entry lives as long as the document.
  const widget::CarEntry& entry(ui::WidgetFamily family) const;
  // What `kelvo show` prints for these files (without its newline).
  std::string showJson() const;

 private:
  FileVersion version_;
  SharedStore store_;
  widget::CarProvider provider_;
  mutable std::mutex mutex_;
  mutable std::optional<widget::CarEntry> plain_, pictured_;
};

class SnapshotSource {
 public:
  // The store of --shared-dir DIR, or the process's own; `clock` is the host's.
  SnapshotSource(Platform platform, widget::CarProvider::Clock clock);

  // The current files: their stat() on every call, read again when changed.
  std::shared_ptr<const Document> current();
  // The shared directory as last resolved; nothing while there is none.
  std::optional<std::filesystem::path> directory();
  // Resolves the directory again and forgets what was read (SIGHUP).
  void forget();

 private:
  std::optional<std::filesystem::path> resolvedDirectory();

  Platform platform_;
  widget::CarProvider::Clock clock_;
  std::mutex mutex_;
  std::optional<std::filesystem::path> directory_;
  std::chrono::steady_clock::time_point resolvedAt_{};
  bool resolved_ = false;
  std::shared_ptr<const Document> document_;
};

}  // namespace kelvo::serve
