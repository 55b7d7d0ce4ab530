#include <gtest/gtest.h>

#include "KelvoShared/SharedStore.h"
#include "SampleSnapshot.h"
#include "TempDirectory.h"

namespace kelvo {
namespace {

enum class Write { snapshotWithImage, snapshotWithoutImage, image, imageRemoval };

// hasImage in snapshot.json after one write, or nothing when there is no snapshot.json.
std::optional<bool> hasImageAfter(bool picture, std::optional<bool> stored, Write write) {
  const testing::TempDirectory dir;
  const SharedStore store(Platform::withSharedDirectory(dir.path()));
  if (picture) testing::writeFile(dir.path() / "car.png", "png");
  WidgetSnapshot snapshot = testing::sampleSnapshot();
  snapshot.hasImage = stored.value_or(false);
  EXPECT_TRUE(!stored || store.save(snapshot).ok());
  snapshot.hasImage = write == Write::snapshotWithImage;
  const auto writer = store.writer();
  EXPECT_TRUE((write == Write::image          ? writer->saveImage({1, 2})
               : write == Write::imageRemoval ? writer->removeImage()
                                              : writer->save(snapshot))
                  .ok());
  const auto written = store.loadSnapshot();
  return written ? std::optional<bool>(written->hasImage) : std::nullopt;
}

TEST(SharedStoreWriter, KeepsHasImageInStepWithThePicture) {
  EXPECT_EQ(hasImageAfter(true, std::nullopt, Write::snapshotWithImage), true);
  EXPECT_EQ(hasImageAfter(true, std::nullopt, Write::snapshotWithoutImage), false) << "the writer's choice";
  EXPECT_EQ(hasImageAfter(false, std::nullopt, Write::image), std::nullopt) << "no snapshot is made up";
}

TEST(SharedStoreWriter, LeavesAnUnreadableSnapshotAndNamesAMissingGroupContainer) {
  const testing::TempDirectory dir;
  testing::writeFile(dir.path() / "snapshot.json", "{\"hasImage\": false");
  ASSERT_TRUE(SharedStore(Platform::withSharedDirectory(dir.path())).writer()->saveImage({1}).ok());
  EXPECT_EQ(testing::readFile(dir.path() / "snapshot.json"), "{\"hasImage\": false");
  Platform grouped;
  grouped.infoValue = [](const std::string&) { return std::optional<InfoValue>(InfoValue{"group.kelvo"}); };
  grouped.groupContainer = [](const std::string&) { return std::optional<std::filesystem::path>(); };
  EXPECT_EQ(SharedStore(grouped).writer().error().message,
            "no shared directory: the app group \"group.kelvo\" has no container");
}

}  // namespace
}  // namespace kelvo
