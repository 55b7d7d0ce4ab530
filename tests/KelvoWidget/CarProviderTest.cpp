#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "KelvoWidget/CarProvider.h"
#include "KelvoWidget/PlaceholderSnapshot.h"
#include "TestPictures.h"
#include "TestStore.h"

namespace kelvo::widget {
namespace {

using testing::TestImage;
using testing::TestStore;
using ui::WidgetFamily;

constexpr Date kNow{1'796'558'400};  // 2026-12-06T12:00:00Z

WidgetSnapshot charging(bool hasImage) {
  WidgetSnapshot snapshot;
  snapshot.batteryPercentage = 64;
  snapshot.rangeKm = 318;
  snapshot.statusKey = "CHARGING";
  snapshot.isPluggedIn = true;
  snapshot.modelName = "EX30";
  snapshot.writtenAt = Date{kNow.secondsSince1970 - 90};
  snapshot.hasImage = hasImage;
  return snapshot;
}

CarProvider::Clock fixedClock(Date date = kNow) {
  return [date] { return date; };
}

TimelineProviderContext context(WidgetFamily family, bool preview = false) { return {family, preview}; }

// The entry of a timeline request, checking the timeline's shape on the way.
CarEntry timelineEntry(const CarProvider& provider, WidgetFamily family) {
  std::vector<Timeline> received;
  provider.getTimeline(context(family), [&](Timeline timeline) { received.push_back(std::move(timeline)); });
  EXPECT_EQ(received.size(), 1u) << "completion called exactly once, before returning";
  if (received.size() != 1 || received[0].entries.size() != 1) {
    ADD_FAILURE() << "expected exactly one entry";
    return {};
  }
  return received[0].entries[0];
}

CarEntry snapshotEntry(const CarProvider& provider, WidgetFamily family, bool preview) {
  std::vector<CarEntry> received;
  provider.getSnapshot(context(family, preview),
                       [&](CarEntry entry) { received.push_back(std::move(entry)); });
  EXPECT_EQ(received.size(), 1u) << "completion called exactly once, before returning";
  return received.empty() ? CarEntry{} : received[0];
}

// ---- store states ----

TEST(CarProviderStates, EveryStoreStateBecomesItsEntry) {
  TestStore files;
  const CarProvider provider(files.store(), fixedClock());

  // No snapshot.json yet.
  CarEntry entry = timelineEntry(provider, WidgetFamily::systemMedium);
  EXPECT_FALSE(entry.snapshot);
  EXPECT_FALSE(entry.carImage);
  ASSERT_TRUE(entry.problem);
  EXPECT_EQ(entry.problem->caseName(), "nothingPolledYet");
  EXPECT_TRUE(std::holds_alternative<WidgetProblem::NothingPolledYet>(entry.problem->value));

  // A snapshot.json that does not decode: the store's message, unchanged.
  files.writeText("snapshot.json", R"({"batteryPercentage": "full"})");
  const SharedStore::SnapshotState state = files.store().snapshotState();
  ASSERT_TRUE(std::holds_alternative<SharedStore::Unreadable>(state));
  entry = timelineEntry(provider, WidgetFamily::systemLarge);
  EXPECT_FALSE(entry.snapshot);
  ASSERT_TRUE(entry.problem);
  EXPECT_EQ(entry.problem->caseName(), "unreadable");
  ASSERT_NE(entry.problem->message(), nullptr);
  EXPECT_EQ(*entry.problem->message(), std::get<SharedStore::Unreadable>(state).message);
  EXPECT_FALSE(entry.problem->message()->empty());

  // A readable snapshot.
  files.writeSnapshot(charging(false));
  entry = timelineEntry(provider, WidgetFamily::systemSmall);
  ASSERT_TRUE(entry.snapshot);
  EXPECT_EQ(*entry.snapshot, charging(false));
  EXPECT_FALSE(entry.problem);
  EXPECT_EQ(entry.date, kNow);

  // No shared directory at all.
  const CarProvider homeless(files.store(TestStore::Container::missing), fixedClock());
  entry = timelineEntry(homeless, WidgetFamily::systemSmall);
  EXPECT_FALSE(entry.snapshot);
  ASSERT_TRUE(entry.problem);
  EXPECT_EQ(entry.problem->caseName(), "noContainer");
  EXPECT_EQ(entry.problem->message(), nullptr);
}

TEST(CarProviderStates, NothingIsCachedBetweenRequests) {
  TestStore files;
  const CarProvider provider(files.store(), fixedClock());
  EXPECT_TRUE(timelineEntry(provider, WidgetFamily::systemSmall).problem);
  files.writeSnapshot(charging(false));
  EXPECT_TRUE(timelineEntry(provider, WidgetFamily::systemSmall).snapshot);
  std::filesystem::remove(files.shared() / "snapshot.json");
  EXPECT_TRUE(timelineEntry(provider, WidgetFamily::systemSmall).problem);
}

// ---- the car picture ----

TEST(CarProviderPicture, MediumAndLargeGetTheDecodedPicture) {
  TestStore files;
  files.writeSnapshot(charging(true));
  files.write("car.png", testing::encodePng(TestImage::filled(1600, 1200, 0x3060A0FF)));
  const CarProvider provider(files.store(), fixedClock());
  for (WidgetFamily family : {WidgetFamily::systemMedium, WidgetFamily::systemLarge}) {
    const CarEntry entry = timelineEntry(provider, family);
    ASSERT_TRUE(entry.snapshot);
    ASSERT_TRUE(entry.carImage);
    EXPECT_EQ(entry.carImage->width, 800);
    EXPECT_EQ(entry.carImage->height, 600);
  }
}

TEST(CarProviderPicture, SmallFamilyNeverReadsThePictureFile) {
  TestStore files;
  files.writeSnapshot(charging(true));
  files.write("car.png", testing::encodePng(TestImage::filled(64, 48, 0x3060A0FF)));
  const CarProvider provider(files.store(), fixedClock());

  const int before = files.lookups();
  const CarEntry small = timelineEntry(provider, WidgetFamily::systemSmall);
  const int smallLookups = files.lookups() - before;
  EXPECT_TRUE(small.snapshot);
  EXPECT_FALSE(small.carImage);

  // The same request for medium looks the picture up: the count is sensitive.
  const int between = files.lookups();
  const CarEntry medium = timelineEntry(provider, WidgetFamily::systemMedium);
  EXPECT_TRUE(medium.carImage);
  EXPECT_GT(files.lookups() - between, smallLookups);

  // Only the snapshot is read: exactly what reading the state alone costs.
  const int alone = files.lookups();
  (void)files.store().snapshotState();
  EXPECT_EQ(smallLookups, files.lookups() - alone);
}

TEST(CarProviderPicture, NoPictureWantedMeansThePictureFileIsNotRead) {
  TestStore files;
  files.writeSnapshot(charging(false));
  files.write("car.png", testing::encodePng(TestImage::filled(64, 48, 0x3060A0FF)));
  const CarProvider provider(files.store(), fixedClock());

  const int alone = files.lookups();
  (void)files.store().snapshotState();
  const int stateLookups = files.lookups() - alone;

  for (WidgetFamily family : {WidgetFamily::systemMedium, WidgetFamily::systemLarge}) {
    const int before = files.lookups();
    const CarEntry entry = timelineEntry(provider, family);
    EXPECT_TRUE(entry.snapshot);
    EXPECT_FALSE(entry.carImage) << "hasImage is false";
    EXPECT_EQ(files.lookups() - before, stateLookups);
  }
}

TEST(CarProviderPicture, AMissingOrBrokenPictureOnlyLeavesThePictureOut) {
  TestStore files;
  files.writeSnapshot(charging(true));
  const CarProvider provider(files.store(), fixedClock());

  CarEntry entry = timelineEntry(provider, WidgetFamily::systemLarge);  // no car.png at all
  EXPECT_TRUE(entry.snapshot);
  EXPECT_FALSE(entry.carImage);
  EXPECT_FALSE(entry.problem);

  files.writeText("car.png", "");
  entry = timelineEntry(provider, WidgetFamily::systemLarge);
  EXPECT_TRUE(entry.snapshot);
  EXPECT_FALSE(entry.carImage);

  files.write("car.png", std::vector<std::uint8_t>(5000, 0xC3));
  entry = timelineEntry(provider, WidgetFamily::systemMedium);
  EXPECT_TRUE(entry.snapshot);
  EXPECT_FALSE(entry.carImage);
  EXPECT_FALSE(entry.problem);

  files.write("car.png", testing::pngHeaderOnly(30000, 30000));  // refused as too large
  entry = timelineEntry(provider, WidgetFamily::systemMedium);
  EXPECT_TRUE(entry.snapshot);
  EXPECT_FALSE(entry.carImage);
}

// ---- snapshot requests ----

TEST(CarProviderSnapshot, PreviewWithoutDataShowsTheSampleCar) {
  TestStore files;
  const CarProvider provider(files.store(), fixedClock());
  const int before = files.lookups();
  const CarEntry entry = snapshotEntry(provider, WidgetFamily::systemMedium, true);
  EXPECT_GT(files.lookups(), before) << "the store is read even when the entry is then replaced";
  ASSERT_TRUE(entry.snapshot);
  EXPECT_EQ(entry.snapshot->modelName, "Polestar 4");
  EXPECT_FALSE(entry.problem);
  EXPECT_FALSE(entry.carImage);
  EXPECT_EQ(entry.date, kNow);
}

TEST(CarProviderSnapshot, OutsideThePreviewNoDataShowsTheProblem) {
  TestStore files;
  const CarProvider provider(files.store(), fixedClock());
  CarEntry entry = snapshotEntry(provider, WidgetFamily::systemMedium, false);
  EXPECT_FALSE(entry.snapshot);
  ASSERT_TRUE(entry.problem);
  EXPECT_EQ(entry.problem->caseName(), "nothingPolledYet");

  files.writeText("snapshot.json", "{");
  entry = snapshotEntry(provider, WidgetFamily::systemSmall, false);
  ASSERT_TRUE(entry.problem);
  EXPECT_EQ(entry.problem->caseName(), "unreadable");
}

TEST(CarProviderSnapshot, RealDataWinsEvenInThePreview) {
  TestStore files;
  files.writeSnapshot(charging(true));
  files.write("car.png", testing::encodePng(TestImage::filled(400, 300, 0x3060A0FF)));
  const CarProvider provider(files.store(), fixedClock());
  for (bool preview : {false, true}) {
    const CarEntry entry = snapshotEntry(provider, WidgetFamily::systemLarge, preview);
    ASSERT_TRUE(entry.snapshot);
    EXPECT_EQ(*entry.snapshot, charging(true));
    ASSERT_TRUE(entry.carImage);
    EXPECT_EQ(entry.carImage->width, 400);
  }
}

// ---- timelines ----

TEST(CarProviderTimeline, OneEntryAndAReload900SecondsAfterTheRequest) {
  TestStore files;
  files.writeSnapshot(charging(false));
  // A clock that moves one second each time it is read: the reload follows
  // the request's first reading, the entry's date a later one.
  auto ticks = std::make_shared<int>(0);
  const CarProvider provider(files.store(), [ticks] { return Date{kNow.secondsSince1970 + (*ticks)++}; });
  bool returned = false;
  int calls = 0;
  provider.getTimeline(context(WidgetFamily::systemLarge), [&](Timeline timeline) {
    ++calls;
    EXPECT_FALSE(returned) << "completion runs before getTimeline returns";
    ASSERT_EQ(timeline.entries.size(), 1u);
    EXPECT_EQ(timeline.policy.date, kNow.addingTimeInterval(900));
    EXPECT_GT(timeline.entries[0].date, kNow);
  });
  returned = true;
  EXPECT_EQ(calls, 1);

  // The interval does not depend on the data or on a problem.
  std::filesystem::remove(files.shared() / "snapshot.json");
  const CarProvider fixed(files.store(), fixedClock());
  fixed.getTimeline(context(WidgetFamily::systemSmall), [](Timeline timeline) {
    ASSERT_EQ(timeline.entries.size(), 1u);
    EXPECT_TRUE(timeline.entries[0].problem);
    EXPECT_EQ(timeline.policy.date.timeIntervalSince(timeline.entries[0].date), CarProvider::kReloadInterval);
  });
}

// ---- placeholder ----

TEST(CarProviderPlaceholder, TheSampleCar) {
  const WidgetSnapshot sample = PlaceholderSnapshot::make(kNow);
  EXPECT_EQ(sample.batteryPercentage, 78.0);
  EXPECT_EQ(sample.rangeKm, 412);
  EXPECT_EQ(sample.statusKey, "IDLE");
  EXPECT_FALSE(sample.isDriving);
  EXPECT_EQ(sample.isPluggedIn, std::optional<bool>(false));
  EXPECT_FALSE(sample.fullInMinutes);
  EXPECT_FALSE(sample.chargingPowerWatts);
  EXPECT_EQ(sample.carTitle, "Polestar 4 \xC2\xB7 2026");
  EXPECT_EQ(sample.modelName, "Polestar 4");
  EXPECT_FALSE(sample.registrationNo);
  EXPECT_EQ(sample.odometerKm, 23412);
  EXPECT_FALSE(sample.carReportedAt);
  EXPECT_EQ(sample.writtenAt, kNow.addingTimeInterval(-480));
  EXPECT_EQ(sample.unit, DistanceUnit::kilometers);
  EXPECT_FALSE(sample.hasImage);
}

TEST(CarProviderPlaceholder, NeverReadsTheStoreAndKeepsWrittenAtAcrossRequests) {
  TestStore files;
  auto now = std::make_shared<Date>(kNow);
  const CarProvider provider(files.store(), [now] { return *now; });
  const CarEntry first = provider.placeholder(context(WidgetFamily::systemSmall));
  *now = now->addingTimeInterval(5 * 60);
  const CarEntry second = provider.placeholder(context(WidgetFamily::systemLarge));

  EXPECT_EQ(files.lookups(), 0);
  ASSERT_TRUE(first.snapshot);
  ASSERT_TRUE(second.snapshot);
  EXPECT_EQ(first.snapshot->writtenAt, second.snapshot->writtenAt);
  EXPECT_EQ(second.date, *now) << "the entry's own date is the moment of the request";
  EXPECT_FALSE(second.problem);
  EXPECT_FALSE(second.carImage);
  EXPECT_EQ(*first.snapshot, PlaceholderSnapshot::make(first.snapshot->writtenAt.addingTimeInterval(480)));
}

TEST(CarProviderPlaceholder, ConcurrentFirstUsesSeeOneValue) {
  std::vector<const WidgetSnapshot*> seen(8, nullptr);
  std::vector<std::thread> threads;
  std::atomic<bool> go{false};
  for (int i = 0; i < 8; ++i) {
    threads.emplace_back([&, i] {
      while (!go) std::this_thread::yield();
      seen[static_cast<std::size_t>(i)] =
          &PlaceholderSnapshot::shared([i] { return Date{kNow.secondsSince1970 + 1000.0 * i}; });
    });
  }
  go = true;
  for (std::thread& thread : threads) thread.join();
  for (const WidgetSnapshot* snapshot : seen) {
    ASSERT_NE(snapshot, nullptr);
    EXPECT_EQ(snapshot, seen[0]);
    EXPECT_EQ(snapshot->writtenAt, seen[0]->writtenAt);
    EXPECT_EQ(snapshot->modelName, "Polestar 4");
  }
}

}  // namespace
}  // namespace kelvo::widget
