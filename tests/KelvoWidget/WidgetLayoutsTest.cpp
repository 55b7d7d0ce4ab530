#include <gtest/gtest.h>

#include <algorithm>

#include "KelvoShared/SharedStore.h"
#include "KelvoWidget/LargeCarView.h"
#include "WidgetTree.h"

namespace kelvo::widget {
namespace {

using testing::dumpEntry;
using testing::dumpSnapshot;
using testing::findAll;
using testing::Json;
using testing::namedView;
using testing::sampleSnapshot;
using testing::textNode;
using testing::texts;
using ui::WidgetFamily;

double right(const Json& node) {
  return node["frame"]["x"].get<double>() + node["frame"]["width"].get<double>();
}
double bottom(const Json& node) {
  return node["frame"]["y"].get<double>() + node["frame"]["height"].get<double>();
}

std::vector<Json> ofType(const Json& root, const std::string& type) {
  return findAll(root, [&](const Json& n) { return n.value("type", "") == type; });
}

// The capsules of the one battery bar under `root`: track, then fill.
std::pair<Json, Json> barCapsules(const Json& root) {
  const std::vector<Json> capsules = ofType(namedView(root, "BatteryBar"), "Capsule");
  EXPECT_EQ(capsules.size(), 2u);
  if (capsules.size() != 2) return {};
  return {capsules[0], capsules[1]};
}

TEST(SmallCarView, ShowsModelPercentBarRangeAndStatusInOrder) {
  WidgetSnapshot snapshot = sampleSnapshot();
  snapshot.modelName = "Polestar 4";
  const Json small = namedView(dumpSnapshot(snapshot, WidgetFamily::systemSmall), "SmallCarView");
  EXPECT_EQ(texts(small), (std::vector<std::string>{"Polestar 4", "80%", "412 km", "Idle", "8m ago"}));

  EXPECT_EQ(textNode(small, "8m ago")["foreground"], "tertiary");

  // The bar runs the full content width at 80 %, accent-tinted.
  const auto [track, fill] = barCapsules(small);
  EXPECT_DOUBLE_EQ(track["frame"]["width"].get<double>(), 138);
  EXPECT_DOUBLE_EQ(track["frame"]["height"].get<double>(), 6);
  EXPECT_NEAR(fill["frame"]["width"].get<double>(), 138 * 0.8, 0.01);
  EXPECT_EQ(fill["fill"], "accentColor");
  EXPECT_EQ(track["fill"], "quaternary");
}

TEST(SmallCarView, LeavesOutAnAbsentOrEmptyModelName) {
  for (const std::optional<std::string>& model :
       {std::optional<std::string>(), std::optional<std::string>("")}) {
    WidgetSnapshot snapshot = sampleSnapshot();
    snapshot.modelName = model;
    const Json small = namedView(dumpSnapshot(snapshot, WidgetFamily::systemSmall), "SmallCarView");
    const Json stack = ofType(small, "VStack").front();
    EXPECT_EQ(stack["children"][0]["type"], "Spacer");
    EXPECT_EQ(texts(small).front(), "80%");
  }
}

TEST(SmallCarView, TruncatesALongModelNameButShrinksAHundredPercent) {
  WidgetSnapshot snapshot = sampleSnapshot();
  snapshot.modelName = "Polestar 4 Long Range Dual Motor Performance Pack Edition";
  snapshot.batteryPercentage = 100;
  const Json small = dumpSnapshot(snapshot, WidgetFamily::systemSmall);
  const Json model = textNode(small, *snapshot.modelName);
  EXPECT_EQ(model["truncated"], true);
  EXPECT_EQ(model["lines"], 1);
  EXPECT_LE(right(model), 16 + 138 + 0.01);
  const Json percent = textNode(small, "100%");
  EXPECT_EQ(percent["truncated"], false);
  EXPECT_GE(percent["scale"].get<double>(), 0.6);
}

TEST(MediumCarView, TitleIsCarTitleOrKelvoNeverTheModelName) {
  WidgetSnapshot snapshot = sampleSnapshot();
  snapshot.modelName = "Polestar 4";
  for (const std::optional<std::string>& title :
       {std::optional<std::string>(), std::optional<std::string>("")}) {
    snapshot.carTitle = title;
    const Json medium = namedView(dumpSnapshot(snapshot, WidgetFamily::systemMedium), "MediumCarView");
    const std::vector<std::string> shown = texts(medium);
    EXPECT_EQ(shown.front(), "Kelvo");
    EXPECT_EQ(std::count(shown.begin(), shown.end(), "Polestar 4"), 0);
    EXPECT_EQ(textNode(medium, "Kelvo")["font"]["weight"], "semibold");
  }
  snapshot.carTitle = "Polestar 4 · 2026";
  EXPECT_EQ(texts(dumpSnapshot(snapshot, WidgetFamily::systemMedium)).front(), "Polestar 4 · 2026");
}

TEST(MediumCarView, PercentAndRangeShareABaseline) {
  const Json medium = dumpSnapshot(sampleSnapshot(), WidgetFamily::systemMedium);
  const Json percent = textNode(medium, "80%");
  const Json range = textNode(medium, "412 km");
  EXPECT_EQ(percent["font"]["size"], 30.0);
  EXPECT_EQ(range["foreground"], "secondary");
  EXPECT_GT(range["frame"]["x"].get<double>(), right(percent));
  EXPECT_NEAR(percent["firstBaseline"].get<double>(), range["firstBaseline"].get<double>(), 0.01);
}

TEST(MediumCarView, FitsThePictureIn150By104AndKeepsItsAspect) {
  struct Case {
    int width, height;
  };
  for (const Case picture : {Case{800, 600}, Case{300, 800}, Case{800, 200}}) {
    const CarEntry entry{Date{testing::kNow}, sampleSnapshot(),
                         testing::solidBitmap(picture.width, picture.height)};
    const Json medium = dumpEntry(entry, WidgetFamily::systemMedium);
    const std::vector<Json> images = findAll(
        medium, [](const Json& n) { return n.value("type", "") == "Image" && !n.contains("systemName"); });
    ASSERT_EQ(images.size(), 1u);
    const double w = images[0]["frame"]["width"], h = images[0]["frame"]["height"];
    EXPECT_LE(w, 150 + 0.01);
    EXPECT_LE(h, 104 + 0.01);
    EXPECT_NEAR(w / h, double(picture.width) / picture.height, 0.02)
        << picture.width << "x" << picture.height;
    EXPECT_TRUE(w > 149.9 || h > 103.9) << "the picture fills one side of its frame";
  }
}

TEST(MediumCarView, WithoutAPictureTheColumnTakesTheWholeWidth) {
  const Json medium = namedView(dumpSnapshot(sampleSnapshot(), WidgetFamily::systemMedium), "MediumCarView");
  const auto [track, fill] = barCapsules(medium);
  EXPECT_NEAR(track["frame"]["x"].get<double>(), 16, 0.01);
  EXPECT_NEAR(track["frame"]["width"].get<double>(), 364 - 32, 0.01);
}

WidgetSnapshot chargingSnapshot() {
  WidgetSnapshot snapshot = sampleSnapshot();
  snapshot.statusKey = "CHARGING";
  snapshot.fullInMinutes = 95;
  snapshot.chargingPowerWatts = 7400;
  snapshot.isPluggedIn = true;
  snapshot.odometerKm = 23412;
  return snapshot;
}

std::vector<std::string> fieldKeys(const WidgetSnapshot& snapshot) {
  std::vector<std::string> keys;
  for (const Field& field : LargeCarView{snapshot, std::nullopt}.fields(icu::Locale("en", "US"))) {
    keys.push_back(field.key);
  }
  return keys;
}

TEST(LargeCarViewFields, ListsOnlyWhatTheSnapshotHasInFixedOrder) {
  EXPECT_EQ(fieldKeys(sampleSnapshot()), std::vector<std::string>{});
  const WidgetSnapshot charging = chargingSnapshot();
  EXPECT_EQ(fieldKeys(charging), (std::vector<std::string>{"Full in", "Power", "Charger", "Odometer"}));
  EXPECT_EQ(
      (LargeCarView{charging, std::nullopt}.fields(icu::Locale("en", "US"))),
      (std::vector<Field>{
          {"Full in", "1h35m"}, {"Power", "7.4 kW"}, {"Charger", "Connected"}, {"Odometer", "23,412 km"}}));

  WidgetSnapshot idle = charging;
  idle.statusKey = "IDLE";  // "Full in" only while charging; power whether or not
  EXPECT_EQ(fieldKeys(idle), (std::vector<std::string>{"Power", "Charger", "Odometer"}));
  idle.statusKey = "SMART_CHARGING";
  EXPECT_EQ(fieldKeys(idle).front(), "Full in");

  WidgetSnapshot noPower = charging;
  noPower.chargingPowerWatts = 0;
  EXPECT_EQ(fieldKeys(noPower), (std::vector<std::string>{"Full in", "Charger", "Odometer"}));
  noPower.chargingPowerWatts = -5;
  EXPECT_EQ(fieldKeys(noPower), (std::vector<std::string>{"Full in", "Charger", "Odometer"}));

  WidgetSnapshot unplugged = sampleSnapshot();
  unplugged.isPluggedIn = false;
  EXPECT_EQ((LargeCarView{unplugged, std::nullopt}.fields(icu::Locale("en", "US"))),
            (std::vector<Field>{{"Charger", "Disconnected"}}));

  WidgetSnapshot miles = sampleSnapshot();
  miles.odometerKm = 23412;
  miles.unit = DistanceUnit::miles;
  EXPECT_EQ((LargeCarView{miles, std::nullopt}.fields(icu::Locale("de", "DE"))),
            (std::vector<Field>{{"Odometer", "14.548 mi"}}));
}

// The grid's cells, each as the texts of its Field.
std::vector<std::vector<std::string>> gridRows(const Json& large) {
  std::vector<Json> fields = findAll(large, [](const Json& n) { return n.value("view", "") == "Field"; });
  std::vector<std::vector<std::string>> rows;
  double rowTop = -1;
  for (const Json& field : fields) {
    const double y = field["frame"]["y"];
    if (rows.empty() || y > rowTop + 0.5) {
      rows.emplace_back();
      rowTop = y;
    }
    rows.back().push_back(texts(field).front());
  }
  return rows;
}

TEST(LargeCarView, FillsTheGridRowByRow) {
  EXPECT_EQ(gridRows(dumpSnapshot(chargingSnapshot(), WidgetFamily::systemLarge)),
            (std::vector<std::vector<std::string>>{{"Full in", "Power"}, {"Charger", "Odometer"}}));

  WidgetSnapshot two = sampleSnapshot();
  two.isPluggedIn = true;
  two.odometerKm = 10;
  const Json large = dumpSnapshot(two, WidgetFamily::systemLarge);
  EXPECT_EQ(gridRows(large), (std::vector<std::vector<std::string>>{{"Charger", "Odometer"}}));
  // Two flexible columns split the width less 8 points of spacing.
  EXPECT_NEAR(textNode(large, "Odometer")["frame"]["x"].get<double>(), 16 + (332 - 8) / 2.0 + 8, 0.5);

  const Json empty = dumpSnapshot(sampleSnapshot(), WidgetFamily::systemLarge);
  EXPECT_TRUE(gridRows(empty).empty());
  EXPECT_EQ(texts(empty),
            (std::vector<std::string>{"Kelvo", "Idle", "80%", "412 km", "Updated", "8 min. ago"}));
}

TEST(LargeCarView, RegistrationLineOnlyWhenNotEmpty) {
  WidgetSnapshot snapshot = sampleSnapshot();
  snapshot.registrationNo = "";
  EXPECT_EQ(texts(dumpSnapshot(snapshot, WidgetFamily::systemLarge)).size(), 6u);
  snapshot.registrationNo = "KLV 042";
  const Json large = dumpSnapshot(snapshot, WidgetFamily::systemLarge);
  const Json registration = textNode(large, "KLV 042");
  EXPECT_EQ(registration["foreground"], "tertiary");
  EXPECT_EQ(registration["font"]["style"], "caption2");
  EXPECT_GT(registration["frame"]["y"].get<double>(), textNode(large, "Kelvo")["frame"]["y"].get<double>());
}

TEST(LargeCarView, FooterSaysUpdatedWithAbbreviatedUnitsAtTheBottom) {
  WidgetSnapshot snapshot = sampleSnapshot();
  snapshot.carReportedAt = Date{testing::kNow - 2 * 3600};
  const Json large = dumpSnapshot(snapshot, WidgetFamily::systemLarge);
  const Json updated = textNode(large, "Updated");
  const Json age = textNode(large, "2 hr. ago");
  EXPECT_EQ(updated["foreground"], "tertiary");
  EXPECT_EQ(age["foreground"], "tertiary");
  EXPECT_EQ(age["font"]["style"], "caption2");
  EXPECT_NEAR(age["frame"]["x"].get<double>() - right(updated), 4, 0.01);
  EXPECT_NEAR(bottom(age), 382 - 16, 0.5);  // pushed down by the spacer
}

TEST(LargeCarView, APictureTakesTheFreeHeightAndTheFooterFollowsTheGrid) {
  const CarEntry entry{Date{testing::kNow}, chargingSnapshot(), testing::solidBitmap(800, 600)};
  const Json large = dumpEntry(entry, WidgetFamily::systemLarge);
  const std::vector<Json> pictures = findAll(
      large, [](const Json& n) { return n.value("type", "") == "Image" && !n.contains("systemName"); });
  ASSERT_EQ(pictures.size(), 1u);
  // Hidden from accessibility together with its frame.
  const std::vector<Json> hidden = findAll(large, [](const Json& n) {
    return n.value("accessibilityHidden", false) &&
           !findAll(n, [](const Json& c) { return c.contains("picture"); }).empty();
  });
  EXPECT_EQ(hidden.size(), 1u);
  EXPECT_GT(pictures[0]["frame"]["height"].get<double>(), 60);
  // No spacer before the footer: the footer sits 8 points under the grid.
  EXPECT_NEAR(textNode(large, "Updated")["frame"]["y"].get<double>() - bottom(textNode(large, "Connected")),
              8, 1);
}

TEST(EntryView, PicksTheLayoutByFamilyAndAnyOtherFamilyGetsTheLargeOne) {
  const WidgetSnapshot snapshot = sampleSnapshot();
  EXPECT_EQ(namedView(dumpSnapshot(snapshot, WidgetFamily::systemSmall), "SmallCarView").is_object(), true);
  namedView(dumpSnapshot(snapshot, WidgetFamily::systemMedium), "MediumCarView");
  namedView(dumpSnapshot(snapshot, WidgetFamily::systemLarge), "LargeCarView");
  namedView(dumpSnapshot(snapshot, WidgetFamily::systemExtraLarge), "LargeCarView");

  // The small layout never draws the picture, even when the entry has one.
  const CarEntry withPicture{Date{testing::kNow}, snapshot, testing::solidBitmap(100, 50)};
  EXPECT_TRUE(findAll(dumpEntry(withPicture, WidgetFamily::systemSmall), [](const Json& n) {
                return n.value("type", "") == "Image" && !n.contains("systemName");
              }).empty());
}

struct NoDataCase {
  const char* what;
  std::optional<WidgetProblem> problem;
  const char* symbol;
  const char* title;
  const char* subtitle;
};

class NoDataView : public ::testing::TestWithParam<NoDataCase> {};

TEST_P(NoDataView, ExplainsTheProblemInEveryFamily) {
  const NoDataCase& c = GetParam();
  for (const WidgetFamily family :
       {WidgetFamily::systemSmall, WidgetFamily::systemMedium, WidgetFamily::systemLarge}) {
    const Json widget = dumpEntry(
        CarEntry{Date{testing::kNow}, c.problem.value_or(WidgetProblem{WidgetProblem::NothingPolledYet{}})},
        family);
    const Json noData = namedView(widget, "NoData");
    const std::vector<Json> symbols = findAll(noData, [](const Json& n) { return n.contains("systemName"); });
    ASSERT_EQ(symbols.size(), 1u);
    EXPECT_EQ(symbols[0]["systemName"], c.symbol);
    EXPECT_EQ(texts(noData), (std::vector<std::string>{c.title, c.subtitle}));
    EXPECT_EQ(textNode(noData, c.title)["font"]["style"], "headline");
    const Json subtitle = textNode(noData, c.subtitle);
    EXPECT_EQ(subtitle["foreground"], "secondary");
    EXPECT_EQ(subtitle["minimumScaleFactor"], 0.7);
    EXPECT_EQ(widget["widgetURL"], "kelvo://open");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Problems, NoDataView,
    ::testing::Values(
        NoDataCase{"nothingPolledYet", WidgetProblem{WidgetProblem::NothingPolledYet{}}, "bolt.car",
                   "No data yet", "Open Kelvo to sign in"},
        NoDataCase{"noProblemEither", std::nullopt, "bolt.car", "No data yet", "Open Kelvo to sign in"},
        NoDataCase{"noContainer", WidgetProblem{WidgetProblem::NoContainer{}}, "exclamationmark.triangle",
                   "No container", "The App Group didn't resolve"},
        NoDataCase{"unreadable",
                   WidgetProblem{WidgetProblem::Unreadable{"key \"unit\": \"km\" is not a distance unit"}},
                   "exclamationmark.triangle", "Can't read the snapshot",
                   "key \"unit\": \"km\" is not a distance unit"}),
    [](const auto& info) { return std::string(info.param.what); });

TEST(NoDataView, WrapsALongMessageCentredAndShrinksNoFurtherThanSeventyPercent) {
  std::string words;
  for (int i = 0; i < 10; ++i) words += "unreadable ";  // 110 of the 120 characters a message keeps
  const Json widget =
      dumpEntry(CarEntry{Date{testing::kNow}, WidgetProblem{WidgetProblem::Unreadable{words}}},
                WidgetFamily::systemSmall);
  const Json subtitle = textNode(widget, words);
  EXPECT_GT(subtitle["lines"].get<int>(), 1);
  EXPECT_GE(subtitle["scale"].get<double>(), 0.7 - 1e-9);
  EXPECT_EQ(subtitle["alignment"], "center");
}

TEST(NoDataView, AMessageOfOneHugeCharacterIsDrawnBounded) {
  // A letter with 100,000 combining marks, handed over without the store.
  std::string message = "e";
  for (int i = 0; i < 100000; ++i) message += "\u0301";
  const Json widget =
      dumpEntry(CarEntry{Date{testing::kNow}, WidgetProblem{WidgetProblem::Unreadable{message + " tail"}}},
                WidgetFamily::systemSmall);
  const auto subtitles =
      findAll(widget, [](const Json& n) { return n.value("text", "").starts_with("e\u0301"); });
  ASSERT_EQ(subtitles.size(), 1u);
  const std::string drawn = subtitles[0]["text"];
  EXPECT_LE(drawn.size(), kelvo::SharedStore::kMessageByteLimit + 3);  // and an ellipsis at most
  EXPECT_TRUE(drawn.ends_with(" tail")) << "only the marks past 32 code points are dropped";
}

TEST(WidgetChrome, ModernHostGetsTheTertiaryFillAndOlderHostsPadding) {
  const WidgetSnapshot snapshot = sampleSnapshot();
  const Json modern = dumpSnapshot(snapshot, WidgetFamily::systemSmall);
  EXPECT_EQ(modern["widgetURL"], "kelvo://open");
  EXPECT_EQ(modern["background"]["containerBackground"], "fill.tertiary");
  EXPECT_EQ(modern["background"]["drawn"], true);
  EXPECT_TRUE(ofType(modern, "Padding").size() == 1u) << "only the bar's own padding";

  ui::Environment legacy = testing::environmentFor(WidgetFamily::systemSmall);
  legacy.host.containerBackground = ui::ContainerBackgroundSupport::unsupported;
  const Json older = dumpEntry(CarEntry{Date{testing::kNow}, snapshot}, legacy);
  EXPECT_EQ(older["widgetURL"], "kelvo://open");
  EXPECT_FALSE(older["background"].value("drawn", false));
  const Json outer = older["root"];
  EXPECT_EQ(outer["type"], "Padding");
  EXPECT_EQ(outer["insets"]["top"], 16.0);
  EXPECT_EQ(outer["insets"]["leading"], 16.0);
  // The content ends up inside the same 16 points as on the modern host.
  EXPECT_NEAR(textNode(older, "80%")["frame"]["x"].get<double>(), 16, 0.01);
}

}  // namespace
}  // namespace kelvo::widget
