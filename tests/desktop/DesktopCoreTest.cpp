// kelvo-desktop's display-free core: settings from the command line and
// desktop.ini, the redraw schedule, the hit test; and the program's answers
// before it needs a display.

#include <gtest/gtest.h>

#include <fstream>
#include <map>

#include "DesktopSettings.h"
#include "HitTest.h"
#include "KelvoUI/WidgetRenderer.h"
#include "ProgramRunner.h"
#include "RedrawSchedule.h"

namespace kelvo::desktop {
namespace {

namespace fs = std::filesystem;
using kelvo::testing::Scratch;

TEST(DesktopSettings, MarginsAreOneOrTwoWholePixelCounts) {
  const std::vector<std::pair<std::string, std::optional<Margin>>> cases = {
      {"24", Margin{24, 24}},  {"12,40", Margin{12, 40}},
      {"0", Margin{0, 0}},     {"10000", Margin{10000, 10000}},
      {"10001", std::nullopt}, {"-1", std::nullopt},
      {"1,", std::nullopt},    {",1", std::nullopt},
      {"5,5,5", std::nullopt}, {" 5", std::nullopt},
      {"5px", std::nullopt},   {"", std::nullopt},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(parseMargin(text), expected) << '"' << text << '"';
}

struct ConfigCase {
  const char* name;
  const char* file;                  // desktop.ini's text
  std::optional<std::string> group;  // --name
  ui::WidgetFamily family;
  Anchor anchor;
  Margin margin;
  std::string problem;  // after "FILE:"; empty when none
};

TEST(DesktopSettings, ConfigFileGivesTheGroupsValuesOrOneLineNamingTheProblem) {
  using F = ui::WidgetFamily;
  const Margin defaults;
  const ConfigCase cases[] = {
      {"empty", "", {}, F::systemSmall, Anchor::topRight, defaults, ""},
      {"values",
       "# mine\n[widget]\nfamily=large\nanchor=bottom-left\nmargin=5,6\n",
       {},
       F::systemLarge,
       Anchor::bottomLeft,
       {5, 6},
       ""},
      {"named group", "[widget]\nfamily=large\n[widget desk]\nfamily=medium\n", "desk", F::systemMedium,
       Anchor::topRight, defaults, ""},
      {"other instance's group only",
       "[widget desk]\nfamily=medium\n",
       {},
       F::systemSmall,
       Anchor::topRight,
       defaults,
       ""},
      {"bad value",
       "[widget]\nanchor=center\n\nfamily=huge\n",
       {},
       F::systemSmall,
       Anchor::topRight,
       defaults,
       "4: family must be one of small|medium|large"},
      {"bad margin",
       "[widget]\nmargin=-3\n",
       {},
       F::systemSmall,
       Anchor::topRight,
       defaults,
       "2: margin must be PX or X,Y in whole pixels (0...10000)"},
      {"unknown key",
       "[widget]\ncolour=red\n",
       {},
       F::systemSmall,
       Anchor::topRight,
       defaults,
       "2: unknown key \"colour\" (known: layer, anchor, margin, output, family, shared-dir, appearance)"},
      {"no equals sign",
       "[widget]\nlayer=top\nsizes\n",
       {},
       F::systemSmall,
       Anchor::topRight,
       defaults,
       "3: expected KEY=VALUE"},
      {"unclosed group",
       "# x\n[widget\nfamily=large\n",
       {},
       F::systemSmall,
       Anchor::topRight,
       defaults,
       "2: a group name must be written [NAME]"},
      {"not UTF-8",
       "[widget]\noutput=\xff\n",
       {},
       F::systemSmall,
       Anchor::topRight,
       defaults,
       "2: the value is not UTF-8 text"},
  };
  const Scratch scratch;
  const fs::path file = scratch.root() / "desktop.ini";
  for (const ConfigCase& c : cases) {
    std::ofstream(file, std::ios::trunc) << c.file;
    Settings settings;
    const auto problem = applyConfigFile(file, configGroup(c.group), settings);
    EXPECT_EQ(problem.value_or(""), c.problem.empty() ? "" : file.string() + ":" + c.problem) << c.name;
    EXPECT_EQ(settings.family, c.family) << c.name;
    EXPECT_EQ(settings.anchor, c.anchor) << c.name;
    EXPECT_EQ(settings.margin, c.margin) << c.name;
  }
  Settings untouched;
  EXPECT_EQ(applyConfigFile(scratch.root() / "missing.ini", "widget", untouched), std::nullopt);
  EXPECT_EQ(applyConfigFile(scratch.root(), "widget", untouched).value_or(""),
            scratch.root().string() + ":0: not a regular file");
}

TEST(DesktopSettings, CommandLineWinsOverTheConfigFile) {
  Settings settings;
  settings.family = ui::WidgetFamily::systemLarge;
  settings.margin = {1, 2};
  CommandLine line;
  CLI::App app;
  addOptions(app, line);
  app.parse("--margin 7", false);
  applyCommandLine(line, settings);
  EXPECT_EQ(settings.family, ui::WidgetFamily::systemLarge);
  EXPECT_EQ(settings.margin, (Margin{7, 7}));
  line.family = "small";
  applyCommandLine(line, settings);
  EXPECT_EQ(settings.family, ui::WidgetFamily::systemSmall);
}

TEST(DesktopSettings, RememberingTheSizeKeepsTheRestOfTheFile) {
  const Scratch scratch;
  const fs::path file = scratch.root() / "new/dir/desktop.ini";
  ASSERT_EQ(rememberFamily(file, "widget desk", ui::WidgetFamily::systemMedium), std::nullopt);
  EXPECT_EQ(kelvo::testing::readFile(file), "[widget desk]\nfamily=medium\n");

  std::ofstream(file, std::ios::trunc)
      << "# mine\n[widget]\nanchor=center\nfamily=small\n\n[widget desk]\nlayer=top\n";
  ASSERT_EQ(rememberFamily(file, "widget", ui::WidgetFamily::systemLarge), std::nullopt);
  const std::string expected =
      "# mine\n\n[widget]\nanchor=center\nfamily=large\n\n[widget desk]\nlayer=top\n";
  EXPECT_EQ(kelvo::testing::readFile(file), expected);
  ASSERT_EQ(rememberFamily(file, "widget", ui::WidgetFamily::systemLarge), std::nullopt);
  EXPECT_EQ(kelvo::testing::readFile(file), expected);  // stable from one save to the next

  // A file it cannot read as a key file is left as the user wrote it.
  std::ofstream(file, std::ios::trunc) << "[widget]\nhalf a thought\n";
  EXPECT_EQ(rememberFamily(file, "widget", ui::WidgetFamily::systemLarge).value_or(""),
            file.string() + ":2: expected KEY=VALUE; not changed");
  EXPECT_EQ(kelvo::testing::readFile(file), "[widget]\nhalf a thought\n");
}

TEST(DesktopSettings, DefaultConfigFileFollowsXdgConfigHomeWhenAbsolute) {
  const auto lookUp = [](std::map<std::string, std::string> values) {
    return [values](const char* name) -> const char* {
      const auto found = values.find(name);
      return found == values.end() ? nullptr : found->second.c_str();
    };
  };
  EXPECT_EQ(defaultConfigFile(lookUp({{"XDG_CONFIG_HOME", "/x/conf"}, {"HOME", "/h"}})),
            "/x/conf/kelvo/desktop.ini");
  EXPECT_EQ(defaultConfigFile(lookUp({{"XDG_CONFIG_HOME", "conf"}, {"HOME", "/h"}})),
            "/h/.config/kelvo/desktop.ini");
  EXPECT_EQ(defaultConfigFile(lookUp({{"HOME", "/h"}})), "/h/.config/kelvo/desktop.ini");
  EXPECT_EQ(configGroup("desk"), "widget desk");
  EXPECT_EQ(configGroup(std::nullopt), "widget");
}

TEST(DesktopHitTest, TheRoundedCornersAreNotTheWidgets) {
  const ui::Size small{170, 170};
  const std::vector<std::pair<ui::Point, bool>> cases = {
      {{85, 85}, true},    {{0, 85}, true},     {{169.9, 85}, true}, {{170, 85}, false},
      {{-0.1, 85}, false}, {{0, 0}, false},     {{3, 3}, false},     {{22, 0}, true},
      {{6.5, 6.5}, true},  {{6.4, 6.4}, false}, {{166, 166}, false}, {{163.5, 163.5}, true},
      {{85, 170}, false},
  };
  for (const auto& [point, hit] : cases)
    EXPECT_EQ(hitsWidget(small, ui::widgetCornerRadius, point), hit) << point.x << ',' << point.y;
  EXPECT_TRUE(hitsWidget({40, 10}, 22, {20, 5}));  // the radius shrinks to fit a thin widget
  EXPECT_FALSE(hitsWidget({40, 10}, 22, {0.5, 0.5}));
}

WidgetSnapshot reportedAt(double seconds) {
  WidgetSnapshot snapshot;
  snapshot.carReportedAt = Date{seconds};
  snapshot.writtenAt = Date{seconds};
  return snapshot;
}

TEST(DesktopSchedule, RedrawsWhenTheAgeTextChangesAndReloadsAtThePolicy) {
  const icu::Locale english("en", "US");
  const double now = 1'800'000'000;
  const Date reload{now + 900};
  struct Case {
    double age;                      // seconds since the car reported
    std::optional<double> redrawIn;  // seconds from now, or the reload
  };
  const Case cases[] = {
      {10, 51},            // "10s ago" runs until "1m ago" (a second past, as every probe)
      {60, 61},            // "1m ago" until "2m ago"
      {119.4, 1.6},        // ...which is close
      {59 * 60 + 30, 31},  // "59m ago" until "1h ago"
      {2 * 3600, {}},      // "2h ago" holds past the reload
      {-30, 31},           // "in 30s" until "1s ago"
      {-150, 31},          // "in 2m" until "in 1m"
      {-3600, 1},          // "in 1h" until "in 59m"
  };
  for (const Case& c : cases) {
    widget::Timeline timeline{{widget::CarEntry{Date{now}, reportedAt(now - c.age)}}, {reload}};
    const Wake wake = nextWake(timeline, Date{now}, english);
    const Wake expected =
        c.redrawIn ? Wake{Date{now + *c.redrawIn}, Wake::Kind::redraw} : Wake{reload, Wake::Kind::reload};
    EXPECT_EQ(wake, expected) << "age " << c.age << ": wakes in " << wake.at.timeIntervalSince(Date{now});
  }

  // A later entry is drawn at its date; before it, the current one is the earlier.
  widget::Timeline two{{widget::CarEntry{Date{now - 5}, reportedAt(now - 7200)},
                        widget::CarEntry{Date{now + 100}, reportedAt(now)}},
                       {reload}};
  EXPECT_EQ(nextWake(two, Date{now}, english), (Wake{Date{now + 100}, Wake::Kind::redraw}));
  EXPECT_EQ(&currentEntry(two, Date{now}), &two.entries[0]);
  EXPECT_EQ(&currentEntry(two, Date{now + 100}), &two.entries[1]);

  // No snapshot, no age text: only the reload.
  widget::Timeline problem{{widget::CarEntry{Date{now}, widget::WidgetProblem{}}}, {reload}};
  EXPECT_EQ(nextWake(problem, Date{now}, english), (Wake{reload, Wake::Kind::reload}));
}

TEST(DesktopProgram, AnswersUsageErrorsHelpAndAMissingDisplayWithoutOne) {
  const Scratch scratch;
  struct Case {
    std::vector<std::string> args;
    int exitCode;
    std::string says;  // in stdout + stderr
  };
  const Case cases[] = {
      {{"--help"}, 0, "--anchor top-left|top-right|bottom-left|bottom-right|center"},
      {{"--bogus"}, 2, "kelvo-desktop: unknown option \"--bogus\""},
      {{"--anchor", "sideways"}, 2, "unknown anchor \"sideways\""},
      {{"--margin", "3,x"}, 2, "unknown margin \"3,x\""},
      {{"--family", "extraLarge"}, 2, "unknown family \"extraLarge\""},
      {{"--layer", "overlay"}, 2, "unknown layer \"overlay\""},
      {{"stray"}, 2, "kelvo-desktop:"},
      {{"--family", "large"}, 1, "kelvo-desktop: cannot open a display"},
  };
  for (const Case& c : cases) {
    const auto run = kelvo::testing::runProgram("kelvo-desktop", c.args, scratch);
    EXPECT_EQ(run.exitCode, c.exitCode) << c.args.front();
    EXPECT_NE((run.out + run.err).find(c.says), std::string::npos) << run.out << run.err;
  }
  // A malformed config file is named with its line; the defaults are used.
  std::ofstream(scratch.root() / "bad.ini") << "[widget]\nfamily=tiny\n";
  const auto run = kelvo::testing::runProgram("kelvo-desktop",
                                              {"--config", (scratch.root() / "bad.ini").string()}, scratch);
  EXPECT_NE(run.err.find((scratch.root() / "bad.ini").string() +
                         ":2: family must be one of small|medium|large; using the defaults\n"),
            std::string::npos)
      << run.err;
}

}  // namespace
}  // namespace kelvo::desktop
