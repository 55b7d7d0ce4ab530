#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "KelvoShared/Platform.h"
#include "KelvoShared/Result.h"
#include "KelvoShared/WidgetSnapshot.h"

namespace kelvo {

// Where the shared files live and how they are read and written. Holds no
// state but its platform seam: every operation resolves the directory anew
// and goes straight to the file system.
class SharedStore {
 public:
  struct Ok {
    WidgetSnapshot snapshot;
  };
  struct Unreadable {
    std::string message;  // what failed, cut to 120 user-perceived characters
  };
  struct NoContainer {};
  struct NoFile {};
  // The outcome of reading snapshot.json.
  using SnapshotState = std::variant<Ok, Unreadable, NoContainer, NoFile>;

  explicit SharedStore(Platform platform = Platform::current());

  std::optional<std::string> appGroup() const;
  std::optional<std::filesystem::path> containerURL() const;
  bool isSharedGroup() const;

  SnapshotState snapshotState() const;
  std::optional<WidgetSnapshot> loadSnapshot() const;
  Status save(const WidgetSnapshot& snapshot) const;

  // The whole of car.png, or nothing on any failure.
  std::optional<std::vector<std::uint8_t>> loadImage() const;
  bool hasImage() const;
  void removeImage() const;
  Status saveImage(const std::vector<std::uint8_t>& bytes) const;
  void clear() const;

 private:
  Platform platform_;
};

}  // namespace kelvo
