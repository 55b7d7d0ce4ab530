#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "KelvoBase/Result.h"
#include "KelvoShared/Platform.h"
#include "KelvoShared/RegularFileReader.h"
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
    std::string message;  // what failed, as boundedMessage() cuts it
  };
  struct NoContainer {};
  struct NoFile {};
  // The outcome of reading snapshot.json.
  using SnapshotState = std::variant<Ok, Unreadable, NoContainer, NoFile>;

  // Larger files read as failures, so a hostile file cannot exhaust memory;
  // the writing side refuses to write them.
  static constexpr std::size_t kSnapshotSizeLimit = std::size_t{1} << 20;  // bytes of snapshot.json
  static constexpr std::size_t kImageSizeLimit = std::size_t{64} << 20;    // bytes of car.png

  // A failure message cut to what is worth showing: at most 120
  // user-perceived characters of at most 32 code points each, and at most
  // 1 KiB, so no message costs more than that to keep or draw.
  static constexpr std::size_t kMessageCharacterLimit = 120;
  static constexpr std::size_t kMessageByteLimit = 1024;
  static std::string boundedMessage(std::string_view message);

  // How the writers (kelvo, kelvo-feed) change the shared files: on a
  // directory resolved once, keeping the snapshot's hasImage in step with
  // car.png. Every failure is reported; nothing is skipped silently.
  class Writer {
   public:
    // The shared directory written to.
    const std::filesystem::path& directory() const { return dir_; }
    // Replaces snapshot.json; hasImage is kept true only while car.png exists.
    Status save(WidgetSnapshot snapshot) const;
    // Replaces car.png, then sets hasImage in a readable snapshot.json.
    Status saveImage(const std::vector<std::uint8_t>& bytes) const;
    // Removes car.png (a missing one is no failure), then clears hasImage in
    // a readable snapshot.json.
    Status removeImage() const;
    // As SharedStore::clear().
    Status clear() const;

   private:
    friend class SharedStore;
    explicit Writer(std::filesystem::path dir) : dir_(std::move(dir)) {}
    Status setHasImage(bool hasImage) const;

    std::filesystem::path dir_;
  };

  explicit SharedStore(Platform platform = Platform::current());

  // The "KelvoAppGroup" value of the information dictionary, when it is a
  // non-empty string (blanks included).

  std::optional<std::string> appGroup() const;
  // The shared directory: the group's container, or the local directory
  // (created on every call) when no group is configured; nothing when the
  // group resolves to no container.
  std::optional<std::filesystem::path> containerURL() const;
  bool isSharedGroup() const;
  // The writers' one way in: a Writer on the shared directory, or why there
  // is none ("no shared directory: ...").
  Result<Writer> writer() const;

  // Reading never throws. snapshot.json must be a regular file of at most
  // kSnapshotSizeLimit bytes; failures give Unreadable.

  SnapshotState snapshotState() const;
  std::optional<WidgetSnapshot> loadSnapshot() const;
  // Replaces snapshot.json atomically, as given. Without a shared directory
  // it writes nothing and succeeds; an encoding or file failure leaves the
  // old file. Writers use writer() instead.
  Status save(const WidgetSnapshot& snapshot) const;

  // The whole of car.png, or nothing on any failure.
  std::optional<std::vector<std::uint8_t>> loadImage() const;
  // car.png opened for reading piece by piece, or nothing on any failure.
  std::unique_ptr<RegularFileReader> openImage() const;
  bool hasImage() const;
  // Removals report every failure but a missing file (nothing to remove).
  Status removeImage() const;
  // Stores the bytes unchanged (no format check), atomically.
  Status saveImage(const std::vector<std::uint8_t>& bytes) const;
  // Removes snapshot.json, then car.png (also when the first fails), and
  // the temporary files killed writers left; reports the first failure.
  Status clear() const;

 private:
  std::optional<std::filesystem::path> localURL() const;

  Platform platform_;
};

}  // namespace kelvo
