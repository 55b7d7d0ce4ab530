#include <gtest/gtest.h>

#include <vector>

#include "KelvoWidget/CarProvider.h"
#include "KelvoWidget/PlaceholderSnapshot.h"
#include "SampleSnapshot.h"
#include "TestPictures.h"
#include "TestStore.h"

namespace kelvo::widget {
namespace {

using testing::TestImage;
using testing::TestStore;
using ui::WidgetFamily;

using kelvo::testing::kNow;

WidgetSnapshot charging(bool hasImage) {
  WidgetSnapshot snapshot = kelvo::testing::sampleSnapshot();
  snapshot.hasImage = hasImage;
  return snapshot;
}

const CarProvider::Clock kFixedClock = [] { return kNow; };

std::string problemCase(const CarEntry& entry) {
  return entry.problem() ? std::string(entry.problem()->caseName()) : "none";
}

std::optional<WidgetSnapshot> snapshotOf(const CarEntry& entry) {
  return entry.snapshot() ? std::optional(*entry.snapshot()) : std::nullopt;
}

// The entry of a timeline request, checking on the way what every timeline
// must be: delivered once before returning, one entry, reload 900 s later.
CarEntry timelineEntry(const CarProvider& provider, WidgetFamily family) {
  std::vector<Timeline> received;
  provider.getTimeline({family, false}, [&](Timeline timeline) { received.push_back(std::move(timeline)); });
  if (received.size() != 1 || received[0].entries.size() != 1) {
    ADD_FAILURE() << "expected one timeline with one entry";
    return {};
  }
  EXPECT_TRUE(received[0].entries[0].date == kNow && received[0].policy.date == kNow.addingTimeInterval(900));
  return received[0].entries[0];
}

CarEntry snapshotEntry(const CarProvider& provider, WidgetFamily family, bool preview) {
  std::vector<CarEntry> received;
  provider.getSnapshot({family, preview}, [&](CarEntry entry) { received.push_back(std::move(entry)); });
  EXPECT_EQ(received.size(), 1u) << "completion called exactly once, before returning";
  return received.empty() ? CarEntry{} : received[0];
}

TEST(CarProviderStates, EveryStoreStateBecomesItsEntryAndNothingIsCached) {
  TestStore files;
  const CarProvider provider(files.store(), kFixedClock);
  EXPECT_EQ(problemCase(timelineEntry(provider, WidgetFamily::systemMedium)), "nothingPolledYet");

  // A snapshot.json that does not decode: the store's message, unchanged.
  files.write("snapshot.json", R"({"batteryPercentage": "full"})");
  const SharedStore::SnapshotState state = files.store().snapshotState();
  ASSERT_TRUE(std::holds_alternative<SharedStore::Unreadable>(state));
  CarEntry entry = timelineEntry(provider, WidgetFamily::systemLarge);
  ASSERT_EQ(problemCase(entry), "unreadable");
  ASSERT_NE(entry.problem()->message(), nullptr);
  EXPECT_EQ(*entry.problem()->message(), std::get<SharedStore::Unreadable>(state).message);

  files.writeSnapshot(charging(false));
  EXPECT_EQ(snapshotOf(timelineEntry(provider, WidgetFamily::systemSmall)), charging(false));
  std::filesystem::remove(files.shared() / "snapshot.json");
  EXPECT_EQ(problemCase(timelineEntry(provider, WidgetFamily::systemSmall)), "nothingPolledYet");

  entry = timelineEntry(CarProvider(files.store(TestStore::Container::missing), kFixedClock),
                        WidgetFamily::systemSmall);
  ASSERT_EQ(problemCase(entry), "noContainer");
  EXPECT_EQ(entry.problem()->message(), nullptr);
}

TEST(CarProviderPicture, OnlyMediumAndLargeWithHasImageReadThePicture) {
  TestStore files;
  files.write("car.png", testing::encodePng(TestImage::filled(1600, 1200, 0x3060A0FF)));
  const CarProvider provider(files.store(), kFixedClock);
  // Directory lookups of reading the snapshot alone; each picture read adds one.
  const int start = files.lookups();
  (void)files.store().snapshotState();
  const int stateLookups = files.lookups() - start;

  for (bool hasImage : {false, true}) {
    files.writeSnapshot(charging(hasImage));
    for (WidgetFamily family :
         {WidgetFamily::systemSmall, WidgetFamily::systemMedium, WidgetFamily::systemLarge}) {
      SCOPED_TRACE("hasImage " + std::to_string(hasImage) + ", " + ui::toString(family));
      const int before = files.lookups();
      const CarEntry entry = timelineEntry(provider, family);
      EXPECT_TRUE(entry.snapshot());
      if (hasImage && family != WidgetFamily::systemSmall) {
        EXPECT_GT(files.lookups() - before, stateLookups);
        ASSERT_TRUE(entry.carImage());
        EXPECT_TRUE(entry.carImage()->width == 800 && entry.carImage()->height == 600);
      } else {
        EXPECT_EQ(files.lookups() - before, stateLookups) << "the picture file is not even looked for";
        EXPECT_FALSE(entry.carImage());
      }
    }
  }
}

TEST(CarProviderPicture, AMissingOrBrokenPictureOnlyLeavesThePictureOut) {
  TestStore files;
  files.writeSnapshot(charging(true));
  const CarProvider provider(files.store(), kFixedClock);
  const std::vector<std::vector<std::uint8_t>> pictures = {
      {}, std::vector<std::uint8_t>(5000, 0xC3), testing::pngHeaderOnly(30000, 30000)};
  for (std::size_t i = 0; i <= pictures.size(); ++i) {
    if (i > 0) files.write("car.png", pictures[i - 1]);  // first without any car.png
    const CarEntry entry = timelineEntry(provider, WidgetFamily::systemLarge);
    EXPECT_EQ(problemCase(entry), "none") << i;
    EXPECT_FALSE(entry.carImage()) << i;
  }
}

TEST(CarProviderSnapshot, ThePreviewShowsTheSampleCarOnlyWithoutData) {
  TestStore files;
  const CarProvider provider(files.store(), kFixedClock);
  CarEntry entry = snapshotEntry(provider, WidgetFamily::systemMedium, true);
  ASSERT_EQ(problemCase(entry), "none");
  EXPECT_EQ(entry.snapshot()->modelName, "Polestar 4");
  EXPECT_FALSE(entry.carImage());
  EXPECT_EQ(entry.date, kNow);
  EXPECT_EQ(problemCase(snapshotEntry(provider, WidgetFamily::systemMedium, false)), "nothingPolledYet");

  files.writeSnapshot(charging(true));
  files.write("car.png", testing::encodePng(TestImage::filled(400, 300, 0x3060A0FF)));
  for (bool preview : {false, true}) {
    entry = snapshotEntry(provider, WidgetFamily::systemLarge, preview);
    EXPECT_EQ(snapshotOf(entry), charging(true));
    ASSERT_TRUE(entry.carImage());
    EXPECT_EQ(entry.carImage()->width, 400);
  }
}

TEST(CarProviderPlaceholder, NeverReadsTheStoreAndKeepsWrittenAtAcrossRequests) {
  TestStore files;
  auto now = std::make_shared<Date>(kNow);
  const CarProvider provider(files.store(), [now] { return *now; });
  const CarEntry first = provider.placeholder({WidgetFamily::systemSmall, false});
  *now = now->addingTimeInterval(5 * 60);
  const CarEntry second = provider.placeholder({WidgetFamily::systemLarge, false});

  EXPECT_EQ(files.lookups(), 0);
  ASSERT_TRUE(first.snapshot() && second.snapshot());
  EXPECT_EQ(first.snapshot()->writtenAt, second.snapshot()->writtenAt);
  EXPECT_EQ(second.date, *now) << "the entry's own date is the moment of the request";
  EXPECT_FALSE(second.problem() || second.carImage());
  EXPECT_EQ(*first.snapshot(),
            PlaceholderSnapshot::make(first.snapshot()->writtenAt.addingTimeInterval(480)));
}

}  // namespace
}  // namespace kelvo::widget
