#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>

#include "KelvoShared/SharedStore.h"
#include "KelvoWidget/CarPresentation.h"
#include "WidgetTree.h"

namespace kelvo::widget {
namespace {

using namespace testing;
using ui::WidgetFamily;
using Texts = std::vector<std::string>;

double x(const Json& node) { return node["frame"]["x"]; }
double y(const Json& node) { return node["frame"]["y"]; }
double width(const Json& node) { return node["frame"]["width"]; }
double height(const Json& node) { return node["frame"]["height"]; }

// Parked, not plugged in: no fields in the large layout.
WidgetSnapshot parked() {
  WidgetSnapshot snapshot = sampleSnapshot();
  snapshot.statusKey = "IDLE";
  snapshot.isPluggedIn.reset();
  return snapshot;
}

TEST(SmallCarView, ShowsModelPercentBarRangeAndStatusInOrderAndLeavesOutAnEmptyModel) {
  WidgetSnapshot snapshot = sampleSnapshot();
  snapshot.modelName = "Polestar 4";
  const Json small = namedView(dumpSnapshot(snapshot, WidgetFamily::systemSmall), "SmallCarView");
  EXPECT_EQ(texts(small), (Texts{"Polestar 4", "64%", "318 km", "Charging", "10m ago"}));
  EXPECT_EQ(textNode(small, "10m ago")["foreground"], "tertiary");
  // The bar runs the full content width, filled to the charge.
  const auto capsules = ofType(namedView(small, "BatteryBar"), "Capsule");
  ASSERT_EQ(capsules.size(), 2u);
  EXPECT_DOUBLE_EQ(width(capsules[0]), 138);
  EXPECT_NEAR(width(capsules[1]), 138 * 0.64, 0.01);
  EXPECT_EQ(capsules[0]["fill"].get<std::string>() + " " + capsules[1]["fill"].get<std::string>(),
            "quaternary green");
  for (const std::optional<std::string>& model :
       {std::optional<std::string>(), std::optional<std::string>("")}) {
    snapshot.modelName = model;
    const Json without = namedView(dumpSnapshot(snapshot, WidgetFamily::systemSmall), "SmallCarView");
    EXPECT_EQ(ofType(without, "VStack").front()["children"][0]["type"], "Spacer");
    EXPECT_EQ(texts(without).front(), "64%");
  }
}

TEST(SmallCarView, TruncatesALongModelNameButShrinksAHundredPercent) {
  WidgetSnapshot snapshot = sampleSnapshot();
  snapshot.modelName = "Polestar 4 Long Range Dual Motor Performance Pack Edition";
  snapshot.batteryPercentage = 100;
  const Json small = dumpSnapshot(snapshot, WidgetFamily::systemSmall);
  const Json model = textNode(small, *snapshot.modelName), percent = textNode(small, "100%");
  EXPECT_TRUE(model["truncated"] == true && model["lines"] == 1);
  EXPECT_LE(x(model) + width(model), 16 + 138 + 0.01);
  EXPECT_TRUE(percent["truncated"] == false && percent["scale"].get<double>() >= 0.6);
}

TEST(MediumCarView, TitleIsCarTitleOrKelvoAndPercentAndRangeShareABaseline) {
  WidgetSnapshot snapshot = sampleSnapshot();
  snapshot.modelName = "Polestar 4";  // never the title
  for (const auto& [title, shown] : std::vector<std::pair<std::optional<std::string>, std::string>>{
           {std::nullopt, "Kelvo"}, {"", "Kelvo"}, {"Polestar 4 · 2026", "Polestar 4 · 2026"}}) {
    snapshot.carTitle = title;
    const Texts all = texts(namedView(dumpSnapshot(snapshot, WidgetFamily::systemMedium), "MediumCarView"));
    EXPECT_EQ(all.front(), shown);
    EXPECT_EQ(std::count(all.begin(), all.end(), "Polestar 4"), 0);
  }
  const Json medium = dumpSnapshot(snapshot, WidgetFamily::systemMedium);
  const Json percent = textNode(medium, "64%"), range = textNode(medium, "318 km");
  EXPECT_EQ(range["foreground"], "secondary");
  EXPECT_EQ(percent.value("foreground", "primary"),
            "primary");  // KelvoUI's render test draws it in each appearance
  EXPECT_GT(x(range), x(percent) + width(percent));
  EXPECT_NEAR(percent["firstBaseline"].get<double>(), range["firstBaseline"].get<double>(), 0.01);
  // Without a picture the column takes the whole width.
  const Json track = ofType(namedView(medium, "BatteryBar"), "Capsule").front();
  EXPECT_NEAR(x(track), 16, 0.01);
  EXPECT_NEAR(width(track), 364 - 32, 0.01);
}

TEST(MediumCarView, FitsThePictureIn150By104AndKeepsItsAspect) {
  for (const auto& [w, h] : {std::pair{800, 600}, std::pair{300, 800}, std::pair{800, 200}}) {
    const auto drawn =
        pictures(dumpSnapshot(sampleSnapshot(), WidgetFamily::systemMedium, solidBitmap(w, h)));
    ASSERT_EQ(drawn.size(), 1u);
    EXPECT_TRUE(width(drawn[0]) <= 150.01 && height(drawn[0]) <= 104.01);
    EXPECT_NEAR(width(drawn[0]) / height(drawn[0]), double(w) / h, 0.02) << w << "x" << h;
    EXPECT_TRUE(width(drawn[0]) > 149.9 || height(drawn[0]) > 103.9)
        << "the picture fills one side of its frame";
  }
}

TEST(LargeCarViewFields, ListsOnlyWhatTheSnapshotHasInFixedOrder) {
  const auto change = [](std::function<void(WidgetSnapshot&)> edit) {
    WidgetSnapshot snapshot = chargingSnapshot();
    edit(snapshot);
    return snapshot;
  };
  const auto fullIn = [&](std::int64_t minutes) {
    return change([minutes](auto& s) { s.fullInMinutes = minutes; });
  };
  using Fields = std::vector<Detail>;
  const Fields others{{"Power", "7.4 kW"}, {"Charger", "Connected"}, {"Odometer", "23,412 km"}};
  // clang-format off
  for (const auto& [snapshot, locale, fields] : std::vector<std::tuple<WidgetSnapshot, const char*, Fields>>{
           {parked(), "en_US", {}},
           {chargingSnapshot(), "en_US", {{"Full in", "1h35m"}, {"Power", "7.4 kW"}, {"Charger", "Connected"}, {"Odometer", "23,412 km"}}},
           // "Full in" only while charging; power whether or not, when positive.
           {change([](auto& s) { s.statusKey = "IDLE"; }), "en_US", others},
           {change([](auto& s) { s.statusKey = "SMART_CHARGING"; s.chargingPowerWatts = 0; }), "en_US", {{"Full in", "1h35m"}, {"Charger", "Connected"}, {"Odometer", "23,412 km"}}},
           {change([](auto& s) { s.chargingPowerWatts = -5; s.isPluggedIn = false; s.odometerKm.reset(); }), "en_US", {{"Full in", "1h35m"}, {"Charger", "Disconnected"}}},
           {change([](auto& s) { s = parked(); s.odometerKm = 23412; s.unit = DistanceUnit::miles; }), "de_DE", {{"Odometer", "14.548 mi"}}},
           // An estimate from a minute to a week; none at all otherwise.
           {fullIn(1), "en_US", {{"Full in", "1min"}, others[0], others[1], others[2]}},
           {fullIn(7 * 24 * 60), "en_US", {{"Full in", "168h"}, others[0], others[1], others[2]}},
           {fullIn(7 * 24 * 60 + 1), "en_US", others}, {fullIn(0), "en_US", others}, {fullIn(-5), "en_US", others},
           {fullIn(INT64_MIN), "en_US", others}, {fullIn(INT64_MAX), "en_US", others}}) {
    // clang-format on
    EXPECT_EQ(CarPresentation::of(snapshot, CarPresentation::Context(kNow, icu::Locale(locale))).details,
              fields);
  }
}

// The grid's cells, each as the texts of its Field.
std::vector<Texts> gridRows(const Json& large) {
  std::vector<Texts> rows;
  double rowTop = -1;
  for (const Json& field : findAll(large, [](const Json& n) { return n.value("view", "") == "Field"; })) {
    if (rows.empty() || y(field) > rowTop + 0.5) rows.emplace_back(), rowTop = y(field);
    rows.back().push_back(texts(field).front());
  }
  return rows;
}

TEST(LargeCarView, FillsTheGridRowByRowWithTheFooterAtTheBottom) {
  EXPECT_EQ(gridRows(dumpSnapshot(chargingSnapshot(), WidgetFamily::systemLarge)),
            (std::vector<Texts>{{"Full in", "Power"}, {"Charger", "Odometer"}}));
  WidgetSnapshot two = parked();
  two.isPluggedIn = true;
  two.odometerKm = 10;
  const Json large = dumpSnapshot(two, WidgetFamily::systemLarge);
  EXPECT_EQ(gridRows(large), (std::vector<Texts>{{"Charger", "Odometer"}}));
  // Two flexible columns split the width less 8 points of spacing.
  EXPECT_NEAR(x(textNode(large, "Odometer")), 16 + (332 - 8) / 2.0 + 8, 0.5);

  WidgetSnapshot old = parked();
  old.carReportedAt = Date{kNow.secondsSince1970 - 2 * 3600};
  const Json empty = dumpSnapshot(old, WidgetFamily::systemLarge);
  EXPECT_EQ(texts(empty), (Texts{"Polestar 4 · 2026", "Idle", "64%", "318 km", "Updated", "2 hr. ago"}));
  const Json updated = textNode(empty, "Updated"), age = textNode(empty, "2 hr. ago");
  EXPECT_TRUE(updated["foreground"] == "tertiary" && age["foreground"] == "tertiary");
  EXPECT_NEAR(x(age) - x(updated) - width(updated), 4, 0.01);
  EXPECT_NEAR(y(age) + height(age), 382 - 16, 0.5);  // pushed down by the spacer
}

TEST(LargeCarView, RegistrationLineOnlyWhenNotEmpty) {
  WidgetSnapshot snapshot = parked();
  snapshot.registrationNo = "";
  EXPECT_EQ(texts(dumpSnapshot(snapshot, WidgetFamily::systemLarge)).size(), 6u);
  snapshot.registrationNo = "KLV 042";
  const Json large = dumpSnapshot(snapshot, WidgetFamily::systemLarge);
  const Json registration = textNode(large, "KLV 042");
  EXPECT_EQ(registration["foreground"], "tertiary");
  EXPECT_GT(y(registration), y(textNode(large, "Polestar 4 · 2026")));
}

TEST(LargeCarView, APictureTakesTheFreeHeightAndTheFooterFollowsTheGrid) {
  const Json large = dumpSnapshot(chargingSnapshot(), WidgetFamily::systemLarge, solidBitmap(800, 600));
  ASSERT_EQ(pictures(large).size(), 1u);
  EXPECT_GT(height(pictures(large)[0]), 60);
  // Hidden from accessibility together with its frame.
  const auto hidden = [](const Json& n) {
    return n.value("accessibilityHidden", false) &&
           !findAll(n, [](const Json& c) { return c.contains("picture"); }).empty();
  };
  EXPECT_EQ(findAll(large, hidden).size(), 1u);
  // No spacer before the footer: the footer sits 8 points under the grid.
  const Json connected = textNode(large, "Connected");
  EXPECT_NEAR(y(textNode(large, "Updated")) - y(connected) - height(connected), 8, 1);
}

TEST(EntryView, AnyOtherFamilyGetsTheLargeLayoutAndTheSmallOneNoPicture) {
  // Small, medium and large: namedView in their own cases finds exactly one view.
  EXPECT_FALSE(
      namedView(dumpSnapshot(sampleSnapshot(), WidgetFamily::systemExtraLarge), "LargeCarView").empty());
  // The small layout never draws the picture, even when the entry has one.
  EXPECT_TRUE(
      pictures(dumpSnapshot(sampleSnapshot(), WidgetFamily::systemSmall, solidBitmap(100, 50))).empty());
}

TEST(NoDataView, ExplainsTheProblemInEveryFamily) {
  using Problem = std::optional<WidgetProblem>;
  const std::string unreadable = "key \"unit\": \"km\" is not a distance unit";
  // clang-format off
  for (const auto& [problem, symbol, title, subtitle] : std::vector<std::tuple<Problem, std::string, std::string, std::string>>{
           {WidgetProblem{WidgetProblem::NothingPolledYet{}}, "bolt.car", "No data yet", "Open Kelvo to sign in"},
           {std::nullopt, "bolt.car", "No data yet", "Open Kelvo to sign in"},
           {WidgetProblem{WidgetProblem::NoContainer{}}, "exclamationmark.triangle", "No container", "The App Group didn't resolve"},
           {WidgetProblem{WidgetProblem::Unreadable{unreadable}}, "exclamationmark.triangle", "Can't read the snapshot", unreadable}}) {
    // clang-format on
    for (const WidgetFamily family :
         {WidgetFamily::systemSmall, WidgetFamily::systemMedium, WidgetFamily::systemLarge}) {
      const Json widget = dumpProblem(problem, environmentFor(family));
      const Json noData = namedView(widget, "NoData");
      const auto symbols = findAll(noData, [](const Json& n) { return n.contains("systemName"); });
      ASSERT_EQ(symbols.size(), 1u) << title;
      EXPECT_EQ(symbols[0]["systemName"], symbol);
      EXPECT_EQ(texts(noData), (Texts{title, subtitle}));
      EXPECT_EQ(textNode(noData, subtitle)["foreground"], "secondary");
      EXPECT_EQ(widget["widgetURL"], "kelvo://open");
    }
  }
}

TEST(NoDataView, ALongMessageWrapsCentredAndOneHugeCharacterIsDrawnBounded) {
  std::string words, marks = "e";
  for (int i = 0; i < 10; ++i) words += "unreadable ";  // 110 of the 120 characters a message keeps
  const Json wrapped = textNode(
      dumpProblem(WidgetProblem{WidgetProblem::Unreadable{words}}, environmentFor(WidgetFamily::systemSmall)),
      words);
  EXPECT_GT(wrapped["lines"].get<int>(), 1);
  EXPECT_GE(wrapped["scale"].get<double>(), 0.7 - 1e-9);
  EXPECT_EQ(wrapped["alignment"], "center");
  // A letter with 100,000 combining marks, handed over without the store.
  for (int i = 0; i < 100000; ++i) marks += "\u0301";
  const Json widget = dumpProblem(WidgetProblem{WidgetProblem::Unreadable{marks + " tail"}},
                                  environmentFor(WidgetFamily::systemSmall));
  const auto drawn =
      findAll(widget, [](const Json& n) { return n.value("text", "").starts_with("e\u0301"); });
  ASSERT_EQ(drawn.size(), 1u);
  EXPECT_LE(drawn[0]["text"].get<std::string>().size(),
            SharedStore::kMessageByteLimit + 3);  // and an ellipsis at most
  EXPECT_TRUE(drawn[0]["text"].get<std::string>().ends_with(" tail"))
      << "only the marks past 32 code points are dropped";
}

TEST(WidgetChrome, ModernHostGetsTheTertiaryFillAndOlderHostsPadding) {
  const Json modern = dumpSnapshot(sampleSnapshot(), WidgetFamily::systemSmall);
  EXPECT_EQ(modern["widgetURL"], "kelvo://open");
  EXPECT_TRUE(modern["background"]["containerBackground"] == "fill.tertiary" &&
              modern["background"]["drawn"] == true);
  EXPECT_EQ(ofType(modern, "Padding").size(), 1u) << "only the bar's own padding";

  ui::Environment legacy = environmentFor(WidgetFamily::systemSmall);
  legacy.host.containerBackground = ui::ContainerBackgroundSupport::unsupported;
  const Json older = dumpSnapshot(sampleSnapshot(), legacy);
  EXPECT_EQ(older["widgetURL"], "kelvo://open");
  EXPECT_FALSE(older["background"].value("drawn", false));
  EXPECT_TRUE(older["root"]["type"] == "Padding" && older["root"]["insets"]["top"] == 16.0);
  // The content ends up inside the same 16 points as on the modern host.
  EXPECT_NEAR(x(textNode(older, "64%")), 16, 0.01);
}

}  // namespace
}  // namespace kelvo::widget
