#include <gtest/gtest.h>

#include <optional>

#include "KelvoShared/SharedStore.h"
#include "SampleSnapshot.h"
#include "TempDirectory.h"

namespace kelvo {
namespace {

namespace fs = std::filesystem;
using testing::readFile;

enum class Action { saveWithImage, saveWithoutImage, saveImage, removeImage };

// hasImage in the stored snapshot.json after one write, or nothing when none is there.
std::optional<bool> hasImageAfter(bool picture, std::optional<bool> stored, Action action) {
  const testing::TempDirectory dir;
  const SharedStore store(Platform::withSharedDirectory(dir.path()));
  if (picture) testing::writeFile(dir.path() / "car.png", "png");
  WidgetSnapshot snapshot = testing::sampleSnapshot();
  snapshot.hasImage = stored.value_or(false);
  EXPECT_TRUE(!stored || store.save(snapshot).ok());
  const auto writer = store.writer();
  snapshot.hasImage = action == Action::saveWithImage;
  const Status status = action == Action::saveImage     ? writer->saveImage({1, 2})
                        : action == Action::removeImage ? writer->removeImage()
                                                        : writer->save(snapshot);
  EXPECT_TRUE(status.ok()) << status.error().message;
  EXPECT_EQ(fs::exists(dir.path() / "car.png"),
            action == Action::saveImage || (picture && action != Action::removeImage));
  const auto written = store.loadSnapshot();
  return written ? std::optional<bool>(written->hasImage) : std::nullopt;
}

TEST(SharedStoreWriter, KeepsHasImageInStepWithThePicture) {
  EXPECT_EQ(hasImageAfter(true, std::nullopt, Action::saveWithImage), true);
  EXPECT_EQ(hasImageAfter(false, std::nullopt, Action::saveWithImage), false) << "no car.png to show";
  EXPECT_EQ(hasImageAfter(true, std::nullopt, Action::saveWithoutImage), false)
      << "the writer's choice stays";
  EXPECT_EQ(hasImageAfter(false, false, Action::saveImage), true);
  EXPECT_EQ(hasImageAfter(false, std::nullopt, Action::saveImage), std::nullopt) << "no snapshot is made up";
  EXPECT_EQ(hasImageAfter(true, true, Action::removeImage), false);
  EXPECT_EQ(hasImageAfter(false, true, Action::removeImage), false) << "car.png already gone";
}

TEST(SharedStoreWriter, LeavesAnUnreadableSnapshotAsItIs) {
  const testing::TempDirectory dir;
  testing::writeFile(dir.path() / "snapshot.json", "{\"hasImage\": false");
  ASSERT_TRUE(SharedStore(Platform::withSharedDirectory(dir.path())).writer()->saveImage({1}).ok());
  EXPECT_EQ(readFile(dir.path() / "snapshot.json"), "{\"hasImage\": false");
}

TEST(SharedStoreWriter, NamesTheMissingSharedDirectory) {
  const testing::TempDirectory dir;
  const auto missing = SharedStore(Platform::withSharedDirectory(dir.path() / "gone")).writer();
  ASSERT_FALSE(missing.ok());
  EXPECT_EQ(missing.error().message,
            "no shared directory: " + (dir.path() / "gone").string() + " is not a directory");
  Platform grouped;
  grouped.infoValue = [](const std::string&) { return std::optional<InfoValue>(InfoValue{"group.kelvo"}); };
  grouped.groupContainer = [](const std::string&) { return std::optional<fs::path>(); };
  EXPECT_EQ(SharedStore(grouped).writer().error().message,
            "no shared directory: the app group \"group.kelvo\" has no container");
  EXPECT_FALSE(fs::exists(dir.path() / "gone"));
}

}  // namespace
}  // namespace kelvo
